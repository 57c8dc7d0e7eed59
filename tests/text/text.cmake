# The text utilities: text operations, text between markers, timestamp,
# code pages, URL and Base64 encoding.
tavrel_add_test(text_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/text_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/text_between_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/timestamp_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/code_page_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/url_encode_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/base64_test.cc
  LIBS tavrel::text GTest::gtest_main
)
