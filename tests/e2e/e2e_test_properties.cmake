# Read by CTest after the discovered end-to-end tests have been added, which
# leaves their names in relay_e2e_tests_TESTS.
if(relay_e2e_tests_TESTS)
  set_tests_properties(${relay_e2e_tests_TESTS} PROPERTIES TIMEOUT 90)
endif()
