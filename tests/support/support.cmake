# The scripted loopback HTTP/HTTPS server that network tests talk to.
find_package(OpenSSL REQUIRED)
find_package(Threads REQUIRED)

add_library(tavrel_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fake_server.h
  ${CMAKE_CURRENT_LIST_DIR}/fake_server.cc
)
add_library(tavrel::test_support ALIAS tavrel_test_support)
target_include_directories(tavrel_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tavrel_test_support PUBLIC OpenSSL::SSL OpenSSL::Crypto Threads::Threads)

tavrel_add_test(fake_server_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fake_server_test.cc
  LIBS tavrel::test_support PkgConfig::CURL GTest::gtest_main
)
