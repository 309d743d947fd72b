# Cross-reference, documents and the standard security handler (included by CMakeLists.txt).
target_sources(qm_pdf_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PDXRef.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PDBaseDoc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PDDocument.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Decrypt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CryptStream.cpp)
