# Tests of the tracing client, included from tests/CMakeLists.txt.
add_executable(trace_core_tests ${CMAKE_CURRENT_LIST_DIR}/trace/trace_core_test.cpp)
target_link_libraries(trace_core_tests PRIVATE mrx3p_trace_core GTest::gtest_main)
if(WIN32)
  target_link_libraries(trace_core_tests PRIVATE dcs_host_headers)  # nlohmann-json, staged
endif()
dcs_warnings(trace_core_tests)
gtest_discover_tests(trace_core_tests DISCOVERY_MODE PRE_TEST)
