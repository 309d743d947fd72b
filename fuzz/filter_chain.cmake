qm_add_fuzzer(filter_chain SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/filter_chain_fuzzer.cpp LIBS qm_pdf_core)
