# The regular-expression object and cookie-list merging.
tavrel_add_test(regex_object_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/regex_object_test.cc
  LIBS tavrel::net tavrel::text GTest::gtest_main
)
tavrel_add_test(merge_cookies_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/merge_cookies_test.cc
  LIBS tavrel::net tavrel::text GTest::gtest_main
)
