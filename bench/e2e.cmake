# Whole conversions by the quillmark command against pdftotext -layout on generated files.
qm_add_bench(e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e.cpp ${CMAKE_CURRENT_LIST_DIR}/PdfCorpus.cpp LIBS ZLIB::ZLIB)
if(TARGET quillmark)
  add_dependencies(e2e_bench quillmark)
endif()
