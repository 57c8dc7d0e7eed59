# Throughput of the text operations and Base64 on 1 MiB and 64 MiB inputs,
# with coreutils' base64 timed on the same data.
add_executable(text_bench ${CMAKE_CURRENT_LIST_DIR}/text_bench.cc)
target_link_libraries(text_bench PRIVATE tavrel::text benchmark::benchmark)
