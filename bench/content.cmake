# Interpreting every page of a 200-page text PDF into a glyph-counting device, against
# pdftotext -raw on the same file.
qm_add_bench(content SOURCES ${CMAKE_CURRENT_LIST_DIR}/content.cpp ${CMAKE_CURRENT_LIST_DIR}/PdfCorpus.cpp
             LIBS qm_pdf_content qm_pdf_model qm_pdf_core ZLIB::ZLIB)
