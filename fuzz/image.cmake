qm_add_fuzzer(image SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/image_fuzzer.cpp LIBS qm_pdf_images)
