# Read by ctest once the office tests are discovered: each of them carries both labels, so
# that "ctest -L soffice" picks them and "ctest -LE soffice" leaves them out. (Labels given
# to gtest_discover_tests lose their list separator on the way.)
if(qm_e2e_office_tests_TESTS)
  set_tests_properties(${qm_e2e_office_tests_TESTS} PROPERTIES LABELS "e2e;soffice")
endif()
