qm_add_fuzzer(document SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/document_fuzzer.cpp LIBS qm_pdf_model)
