# HttpFetch and HttpFetchAutomation posting 100 MiB to the loopback test
# server, with the curl program timed on the same bytes in the same run.
if(TARGET tavrel_test_support)
  add_executable(http_fetch_bench ${CMAKE_CURRENT_LIST_DIR}/http_fetch_bench.cc)
  target_link_libraries(http_fetch_bench PRIVATE tavrel::net tavrel::test_support benchmark::benchmark)
endif()
