# The searches when services misbehave and input is hostile, at the workflow
# level against the fake services.
tavrel_add_test(app_search_faults_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/search_faults_test.cc
  LIBS tavrel_fake_services GTest::gtest_main
  PROPERTIES TIMEOUT 180
)
