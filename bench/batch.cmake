# A batch of real and generated PDFs converted by one quillmark process with --jobs 2 against
# one with --jobs 1.
qm_add_bench(batch SOURCES ${CMAKE_CURRENT_LIST_DIR}/batch.cpp ${CMAKE_CURRENT_LIST_DIR}/PdfCorpus.cpp LIBS ZLIB::ZLIB)
if(TARGET quillmark)
  add_dependencies(batch_bench quillmark)
endif()
