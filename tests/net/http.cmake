# The two request routines and the request component, against the loopback
# server of tests/support.
tavrel_add_test(http_fetch_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/http_fetch_test.cc
  LIBS tavrel::net tavrel::test_support GTest::gtest_main
)
tavrel_add_test(http_fetch_automation_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/http_fetch_automation_test.cc
  LIBS tavrel::net tavrel::test_support GTest::gtest_main
)
