# AES-128 and AES-256 standard security (included by CMakeLists.txt); AES and SHA-2 from libcrypto.
find_package(OpenSSL REQUIRED)
target_sources(qm_pdf_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AESSecurity.cpp)
target_link_libraries(qm_pdf_core PRIVATE OpenSSL::Crypto)
