# The host program's tests: the case reading, label matching and output
# formats on their own, and the built dcs-host run on the examples.
if(DCS_BUILD_HOST AND NOT WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/host/CMakeLists.txt)
  if(NOT TARGET host_tests)
    add_executable(host_tests
      ${CMAKE_CURRENT_LIST_DIR}/host/case_file_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/fields_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/report_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/number_text_test.cpp
    )
    target_link_libraries(host_tests PRIVATE dcs_host_lib GTest::gtest_main)
    dcs_warnings(host_tests)
    gtest_discover_tests(host_tests DISCOVERY_TIMEOUT 60)

    add_test(NAME host_examples_end_to_end
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/run_examples.sh $<TARGET_FILE:dcs-host>
                     ${PROJECT_SOURCE_DIR}/examples)
  endif()
endif()
