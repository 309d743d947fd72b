qm_add_fuzzer(lexer_parser SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lexer_parser_fuzzer.cpp LIBS qm_pdf_core)
