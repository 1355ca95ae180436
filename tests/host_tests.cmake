# The host program's tests: the case reading, label matching and output
# formats on their own, and the built dcs-host run on the examples.
if(DCS_BUILD_HOST AND NOT WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/host/CMakeLists.txt)
  if(NOT TARGET host_tests)
    add_executable(host_tests
      ${CMAKE_CURRENT_LIST_DIR}/host/case_file_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/fields_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/report_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/output_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/chart_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/html_report_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/io_list_csv_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/case_parity_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/number_text_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/code_page_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/glob_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/quiet_standins_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/expectations_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/trend_compare_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/step_loop_test.cpp
    )
    target_link_libraries(host_tests PRIVATE dcs_host_report mrxnt_rules iface mrx3p user32 GTest::gtest_main)
    target_compile_definitions(host_tests PRIVATE DCS_DRIVER_PATH="$<TARGET_FILE:mrxnt>"
                                                  DCS_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
    add_dependencies(host_tests mrxnt)
    dcs_warnings(host_tests)
    dcs_host_white_box(host_tests)
    gtest_discover_tests(host_tests DISCOVERY_TIMEOUT 60)

    # The whole-case check against the driver: linked with the driver's
    # objects for its parse and rules, and loading the driver library for
    # the dry run it is compared with.
    add_executable(check_tests
      ${CMAKE_CURRENT_LIST_DIR}/host/check_differential_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/host/check_codes_test.cpp
    )
    target_link_libraries(check_tests PRIVATE dcs_host_report mrxnt_rules iface mrx3p user32 GTest::gtest_main)
    target_include_directories(check_tests SYSTEM PRIVATE ${DCS_NLOHMANN_INCLUDE_DIR})
    target_compile_definitions(check_tests PRIVATE DCS_DRIVER_PATH="$<TARGET_FILE:mrxnt>"
                                                   DCS_FUZZ_CORPUS_DIR="${PROJECT_SOURCE_DIR}/fuzz/corpus")
    add_dependencies(check_tests mrxnt)
    dcs_warnings(check_tests)
    dcs_host_white_box(check_tests)
    gtest_discover_tests(check_tests DISCOVERY_TIMEOUT 60)

    # Traces: the reader and digest on hand-written traces; and the built
    # dcs-host tracing every example, replaying it and reading it back.
    add_executable(trace_tests ${CMAKE_CURRENT_LIST_DIR}/host/trace_file_test.cpp)
    target_link_libraries(trace_tests PRIVATE dcs_host_report GTest::gtest_main)
    target_include_directories(trace_tests SYSTEM PRIVATE ${DCS_NLOHMANN_INCLUDE_DIR})
    dcs_warnings(trace_tests)
    dcs_host_white_box(trace_tests)
    gtest_discover_tests(trace_tests DISCOVERY_TIMEOUT 60)
    add_test(NAME host_trace_round_trip
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/trace_round_trip.sh $<TARGET_FILE:dcs-host>
                     ${PROJECT_SOURCE_DIR}/examples)
    add_test(NAME host_trace_follow
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/trace_follow.sh $<TARGET_FILE:dcs-host> ${PROJECT_SOURCE_DIR}/examples)
    set_tests_properties(host_trace_follow PROPERTIES TIMEOUT 120)
    add_test(NAME host_trace_page_in_browser
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/trace_page_in_browser.sh $<TARGET_FILE:dcs-host>)
    set_tests_properties(host_trace_page_in_browser PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)

    # tags, diff, map and export, on the driver's parse and the checker.
    add_executable(catalogue_tools_tests ${CMAKE_CURRENT_LIST_DIR}/host/catalogue_tools_test.cpp)
    target_link_libraries(catalogue_tools_tests PRIVATE dcs_host_commands mrxnt_rules iface mrx3p user32 GTest::gtest_main)
    target_include_directories(catalogue_tools_tests SYSTEM PRIVATE ${DCS_NLOHMANN_INCLUDE_DIR})
    target_compile_definitions(catalogue_tools_tests PRIVATE DCS_DRIVER_PATH="$<TARGET_FILE:mrxnt>"
                                                             DCS_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
    add_dependencies(catalogue_tools_tests mrxnt)
    dcs_warnings(catalogue_tools_tests)
    dcs_host_white_box(catalogue_tools_tests)
    gtest_discover_tests(catalogue_tools_tests DISCOVERY_TIMEOUT 60)

    add_test(NAME host_catalogue_commands
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/catalogue_tools.sh $<TARGET_FILE:dcs-host>
                     ${PROJECT_SOURCE_DIR}/examples)
    # map and export on ASCII, code page 1252 and 1250 names: what they write
    # reads back to the same verdicts; a decomposed name refused alike.
    add_test(NAME host_names_round_trip
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/names_round_trip.sh $<TARGET_FILE:dcs-host>
                     ${PROJECT_SOURCE_DIR}/examples)
    # The stages' layering: a planted include of a stage not linked, or of
    # another stage's private header, does not compile.
    add_test(NAME host_layers_refuse_reach
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/layers_refuse_reach.sh ${PROJECT_SOURCE_DIR} ${CMAKE_CXX_COMPILER}
                     "${CMAKE_CXX_COMPILER_LAUNCHER}")
    set_tests_properties(host_layers_refuse_reach PROPERTIES TIMEOUT 300)
    add_test(NAME host_examples_end_to_end
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/run_examples.sh $<TARGET_FILE:dcs-host>
                     ${PROJECT_SOURCE_DIR}/examples)
    # test on the examples, a failing case and an unreadable one; the JUnit
    # XML read back by a reader of its own.
    add_test(NAME host_test_command
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/test_command.sh $<TARGET_FILE:dcs-host>
                     ${PROJECT_SOURCE_DIR}/examples)
    add_test(NAME host_faulty_inputs
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/faulty_inputs.sh $<TARGET_FILE:dcs-host>
                     ${PROJECT_SOURCE_DIR}/examples)

    # Every command's outputs on every example and a small generated plant,
    # byte for byte against the recorded set in host/golden/.
    add_test(NAME host_golden_outputs COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/golden_outputs.sh $<TARGET_FILE:dcs-host>)
    set_tests_properties(host_golden_outputs PROPERTIES TIMEOUT 300)

    # The terminal table of a generated plant keeps 40 columns and says what
    # it left out; a small plant here (the test command runs the whole one on
    # the optimised build).
    add_test(NAME host_plant_terminal
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/plant_terminal.sh $<TARGET_FILE:dcs-host>
                     ${PROJECT_SOURCE_DIR}/examples 30)

    # Names in several scripts for every input and output, and Ctrl-C.
    add_test(NAME host_path_names COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/path_names.sh $<TARGET_FILE:dcs-host>)
    add_test(NAME host_interrupt
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/interrupt.sh $<TARGET_FILE:dcs-host> ${PROJECT_SOURCE_DIR}/examples)

    # The documentation against the codes the tool gives.
    # The README's samples against what the tool prints, elisions only where marked.
    add_test(NAME host_readme_samples COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/host/readme_samples.py
                                              $<TARGET_FILE:dcs-host> ${PROJECT_SOURCE_DIR})
    # Every JSON output's documented fields against those it writes.
    add_test(NAME host_json_docs COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/json_docs.sh $<TARGET_FILE:dcs-host>
                                         ${PROJECT_SOURCE_DIR}/examples ${PROJECT_SOURCE_DIR})
    # The README's synopses against every command's --help, both ways.
    add_test(NAME host_readme_synopses COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/readme_synopses.sh
                                               $<TARGET_FILE:dcs-host> ${PROJECT_SOURCE_DIR})
    add_test(NAME host_docs_codes COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/docs_codes.sh $<TARGET_FILE:dcs-host>
                                          ${PROJECT_SOURCE_DIR})

    # The check's SARIF (and JUnit) outputs read back, their places checked.
    add_test(NAME host_ci_outputs COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/ci_outputs.sh $<TARGET_FILE:dcs-host>
                                          ${PROJECT_SOURCE_DIR}/examples)

    # Every output parsed by a real parser, on a case full of odd bytes.
    add_test(NAME host_output_validity
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/output_validity.sh $<TARGET_FILE:dcs-host>)
    set_tests_properties(host_output_validity PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)

    # The pages in a real browser: the examples' reports and a page of a
    # diagnosis built by hand.
    add_executable(html_page_sample ${CMAKE_CURRENT_LIST_DIR}/host/html_page_sample.cpp)
    target_link_libraries(html_page_sample PRIVATE dcs_host_report)
    dcs_warnings(html_page_sample)
    dcs_host_white_box(html_page_sample)
    add_test(NAME host_pages_in_browser
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/host/pages_in_browser.sh $<TARGET_FILE:dcs-host>
                     $<TARGET_FILE:html_page_sample> ${PROJECT_SOURCE_DIR}/examples)
    # Exit status 77: the browser is missing, said plainly; not a pass.
    set_tests_properties(host_pages_in_browser PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 1200)
  endif()
endif()

# The same names, Ctrl-C and trace --follow for dcs-host.exe under Wine, through the build
# tree's Wine launcher (kept short: Wine starts slowly).
if(DCS_BUILD_HOST AND WIN32 AND TARGET dcs-host AND NOT TEST host_path_names_wine)
  add_test(NAME host_path_names_wine
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/host/path_names.sh $<TARGET_FILE:dcs-host> ${CMAKE_BINARY_DIR}/win-run.sh)
  add_test(NAME host_interrupt_wine
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/host/interrupt.sh $<TARGET_FILE:dcs-host> ${PROJECT_SOURCE_DIR}/examples
                   ${CMAKE_BINARY_DIR}/win-run.sh)
  add_test(NAME host_trace_follow_wine
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/host/trace_follow.sh $<TARGET_FILE:dcs-host>
                   ${PROJECT_SOURCE_DIR}/examples ${CMAKE_BINARY_DIR}/win-run.sh)
  set_tests_properties(host_path_names_wine host_interrupt_wine host_trace_follow_wine PROPERTIES TIMEOUT 600)
endif()
