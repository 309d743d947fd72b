qm_add_fuzzer(cmap SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cmap_fuzzer.cpp LIBS qm_pdf_fonts)
