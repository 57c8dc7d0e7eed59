# Tests of the search window, its request formats and the two searches.
find_package(Qt6 REQUIRED COMPONENTS Test)

# Stand-ins for the three image-search services, on the loopback server.
add_library(tavrel_fake_services STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fake_services.h
  ${CMAKE_CURRENT_LIST_DIR}/fake_services.cc
)
target_include_directories(tavrel_fake_services PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tavrel_fake_services PUBLIC tavrel::test_support tavrel::search)

tavrel_add_test(app_request_templates_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/request_templates_test.cc
  LIBS tavrel::search GTest::gtest_main
)

tavrel_add_test(app_search_workflows_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/search_workflows_test.cc
  LIBS tavrel_fake_services GTest::gtest_main
  PROPERTIES TIMEOUT 120
)

# The real window with its web engine; one engine at a time on the machine.
tavrel_add_test(app_search_window_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/search_window_test.cc ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cc
  LIBS tavrel::app tavrel_fake_services Qt6::Test GTest::gtest
  PROPERTIES RUN_SERIAL TRUE TIMEOUT 120
)
set_target_properties(app_search_window_tests PROPERTIES AUTOMOC ON)

# Performs a search against the fakes and saves the window as a PNG:
#   xvfb-run -a -s "-screen 0 1400x1000x24" build/tests/tavrel_screenshot docs/screenshot.png
add_executable(tavrel_screenshot ${CMAKE_CURRENT_LIST_DIR}/screenshot_main.cc)
target_link_libraries(tavrel_screenshot PRIVATE tavrel::app tavrel_fake_services Qt6::Test)
# The suite makes one too (into the build folder), so the picture can always be remade.
add_test(NAME App.Screenshot COMMAND tavrel_screenshot ${CMAKE_BINARY_DIR}/screenshot.png)
set_tests_properties(App.Screenshot PROPERTIES RUN_SERIAL TRUE TIMEOUT 120)
