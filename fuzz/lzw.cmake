qm_add_fuzzer(lzw SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lzw_fuzzer.cpp LIBS qm_pdf_core)
