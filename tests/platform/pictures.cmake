# Tests of the picture classes and the shell stand-in.
qm_add_test(qm_platform_picture_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RasterTest.cpp ${CMAKE_CURRENT_LIST_DIR}/JpegTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/MetafileTest.cpp
  LIBS qm_platform)
