# SearchByLocalImage on a large file against fake services, beside the same
# three uploads made with curl.
if(TARGET tavrel_fake_services)
  add_executable(search_bench ${CMAKE_CURRENT_LIST_DIR}/search_bench.cc)
  target_link_libraries(search_bench PRIVATE tavrel_fake_services tavrel::search benchmark::benchmark)
endif()
