# Cross-reference, document loading and the security handler.
qm_add_test(qm_pdf_document_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DecryptTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PDXRefTest.cpp
  LIBS qm_pdf_core qm_test_support_pdf)
