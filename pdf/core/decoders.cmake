# Image stream decoders (included by CMakeLists.txt): DCT, CCITT fax, JBIG2 and JPEG 2000.
# JPEG 2000 goes through OpenJPEG, a well-kept decoder for a coding we do not write ourselves.
pkg_check_modules(QM_OPENJPEG REQUIRED IMPORTED_TARGET libopenjp2)
target_sources(qm_pdf_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DCTDecode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCITTDecode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JBIG2Decode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JPXDecode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageFilters.cpp)
target_link_libraries(qm_pdf_core PRIVATE PkgConfig::QM_OPENJPEG)
