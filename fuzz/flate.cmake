qm_add_fuzzer(flate SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/flate_fuzzer.cpp LIBS qm_pdf_core)
