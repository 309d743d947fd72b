# Serialising large documents: text runs, and paragraphs with pictures.
qm_add_bench(writer SOURCES ${CMAKE_CURRENT_LIST_DIR}/writer.cpp LIBS qm_writer)
