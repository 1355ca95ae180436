# The host program's tests: the case reading, label matching and output
# formats on their own, and the built dcs-host run on the examples.
if(DCS_BUILD_HOST AND NOT WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/host/CMakeLists.txt)
  if(NOT TARGET host_tests)
    add_executable(host_tests
      ${CMAKE_CURRENT_LIST_DIR}/host/case_file_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/fields_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/report_test.cpp
    )
    target_link_libraries(host_tests PRIVATE dcs_host_lib GTest::gtest_main)
    dcs_warnings(host_tests)
    gtest_discover_tests(host_tests DISCOVERY_TIMEOUT 60)

    # The whole-case check against the driver: linked with the driver's
    # objects for its parse and rules, and loading the driver library for
    # the dry run it is compared with.
    add_executable(check_tests
      ${CMAKE_CURRENT_LIST_DIR}/host/check_differential_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/check_codes_test.cpp
    )
    target_link_libraries(check_tests PRIVATE dcs_host_check GTest::gtest_main)
    target_include_directories(check_tests SYSTEM PRIVATE ${DCS_NLOHMANN_INCLUDE_DIR})
    target_compile_definitions(check_tests PRIVATE DCS_DRIVER_PATH="$<TARGET_FILE:mrxnt>"
                                                   DCS_FUZZ_CORPUS_DIR="${PROJECT_SOURCE_DIR}/fuzz/corpus")
    add_dependencies(check_tests mrxnt)
    dcs_warnings(check_tests)
    gtest_discover_tests(check_tests DISCOVERY_TIMEOUT 60)

    add_test(NAME host_examples_end_to_end
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/run_examples.sh $<TARGET_FILE:dcs-host>
                     ${PROJECT_SOURCE_DIR}/examples)
  endif()
endif()
