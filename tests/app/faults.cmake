find_package(Qt6 REQUIRED COMPONENTS Test)

# The searches when services misbehave and input is hostile, at the workflow
# level against the fake services.
tavrel_add_test(app_search_faults_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/search_faults_test.cc
  LIBS tavrel_fake_services GTest::gtest_main
  PROPERTIES TIMEOUT 180
)

# 600 searches with faults mixed in; descriptors and memory at the end against
# those after the first 20. Alone on the machine, so that timing and memory
# are its own: ctest -L soak
tavrel_add_test(app_soak_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/soak_test.cc
  LIBS tavrel_fake_services GTest::gtest_main
  PROPERTIES LABELS soak RUN_SERIAL TRUE TIMEOUT 300
)

# The real window after failing searches; one web engine at a time.
tavrel_add_test(app_search_faults_window_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/search_faults_window_test.cc ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cc
  LIBS tavrel::app tavrel_fake_services Qt6::Test GTest::gtest
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 120
)
