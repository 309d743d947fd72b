# Picture classes (raster, JPEG, metafile) and the shell "open" stand-in, included by
# platform/CMakeLists.txt.
target_sources(qm_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Raster.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Jpeg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Metafile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Shell.cpp)
target_link_libraries(qm_platform PRIVATE JPEG::JPEG Threads::Threads)
