# qm_add_library(name [STRICT_CONVERSIONS] [PUBLIC deps...] [PRIVATE deps...] SOURCES files...)
# One folder is one static library. Includes are written from the repository root.
# STRICT_CONVERSIONS adds -Wconversion and -Wsign-conversion to the library's own sources.
function(qm_add_library name)
  cmake_parse_arguments(ARG "STRICT_CONVERSIONS" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE qm_warnings ${ARG_PRIVATE})
  if(ARG_STRICT_CONVERSIONS)
    target_link_libraries(${name} PRIVATE qm_conversion_warnings)
  endif()
endfunction()

# qm_add_test(name SOURCES files... LIBS libs...)
# One GoogleTest executable; each TEST becomes a ctest entry, discovered when ctest runs.
# A missing source stops the configuration: a suite is never left out without a word.
function(qm_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  foreach(src ${ARG_SOURCES})
    get_filename_component(path ${src} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    if(NOT EXISTS ${path})
      message(FATAL_ERROR "${name}: source ${src} does not exist")
    endif()
  endforeach()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE qm_warnings ${ARG_LIBS} GTest::gtest GTest::gmock
                        GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    QM_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QM_FIXTURE_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "QM_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
