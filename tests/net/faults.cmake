# Both request routines against a table of network and server faults on the
# loopback server: refused, unresolvable, stalls, cut and broken bodies,
# resets, non-HTTP replies, oversized headers, redirect loops, certificates,
# huge and badly encoded bodies.
tavrel_add_test(net_fault_matrix_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fault_matrix_test.cc
  LIBS tavrel::net tavrel::test_support GTest::gtest_main
  PROPERTIES TIMEOUT 120
)
