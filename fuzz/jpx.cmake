qm_add_fuzzer(jpx SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/jpx_fuzzer.cpp LIBS qm_pdf_core)
