qm_add_fuzzer(dct SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dct_fuzzer.cpp LIBS qm_pdf_core)
