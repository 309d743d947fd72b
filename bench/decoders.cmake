qm_add_bench(decoders SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/decoders.cpp LIBS qm_pdf_core)
