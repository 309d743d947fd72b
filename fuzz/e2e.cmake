qm_add_fuzzer(e2e SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/e2e_fuzzer.cpp LIBS qm_converter)
