# Image stream decoders: DCT against libjpeg, CCITT, JBIG2 and JPEG 2000 against the
# reference bitmaps in tests/fixtures/images/.
qm_add_test(qm_pdf_decoder_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DCTDecodeTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CCITTDecodeTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JBIG2DecodeTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JPXDecodeTest.cpp
  LIBS qm_pdf_core JPEG::JPEG)
