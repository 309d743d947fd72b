# Loading a 1000-page file and reading every page's content streams, against qpdf --check.
qm_add_bench(pdfcore SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdfcore.cpp ${CMAKE_CURRENT_LIST_DIR}/PdfCorpus.cpp
             LIBS qm_pdf_model qm_pdf_core ZLIB::ZLIB)
