# AES-128 and AES-256 standard security over qpdf-made files.
find_package(OpenSSL REQUIRED)
qm_add_test(qm_pdf_aes_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AESSecurityTest.cpp
  LIBS qm_pdf_model qm_pdf_core qm_test_support_pdf OpenSSL::Crypto)
