# qm_add_library(name [PUBLIC deps...] [PRIVATE deps...] SOURCES files...)
# One folder is one static library. Includes are written from the repository root.
function(qm_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE qm_warnings ${ARG_PRIVATE})
endfunction()

# qm_add_test(name SOURCES files... LIBS libs...)
# One GoogleTest executable; each TEST becomes a ctest entry, discovered when ctest runs.
function(qm_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  # A suite whose source is not written yet is left out rather than breaking the
  # configuration of every other suite.
  set(present "")
  foreach(src ${ARG_SOURCES})
    if(IS_ABSOLUTE ${src})
      set(path ${src})
    else()
      set(path ${CMAKE_CURRENT_SOURCE_DIR}/${src})
    endif()
    if(EXISTS ${path})
      list(APPEND present ${src})
    else()
      message(WARNING "${name}: ${src} is missing; the suite is left out")
      return()
    endif()
  endforeach()
  add_executable(${name} ${present})
  target_link_libraries(${name} PRIVATE qm_warnings ${ARG_LIBS} GTest::gtest GTest::gmock
                        GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    QM_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QM_FIXTURE_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "QM_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

macro(qm_optional_subdirectory dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endmacro()
