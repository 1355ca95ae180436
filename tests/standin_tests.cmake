# Tests of the stand-in libraries themselves, included from tests/CMakeLists.txt.
add_executable(standin_tests
  ${CMAKE_CURRENT_LIST_DIR}/standin/iface_standin_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/standin/mrx3p_standin_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/standin/mrx3p_script_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/standin/user32_standin_test.cpp
)
target_link_libraries(standin_tests PRIVATE GTest::gtest_main iface mrx3p user32)
dcs_warnings(standin_tests)
# Listed when the tests run rather than at build time, so that a cross build
# links without having to run the executable.
gtest_discover_tests(standin_tests DISCOVERY_MODE PRE_TEST)
