qm_add_fuzzer(ccitt SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ccitt_fuzzer.cpp LIBS qm_pdf_core)
