qm_add_fuzzer(jbig2 SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/jbig2_fuzzer.cpp LIBS qm_pdf_core)
