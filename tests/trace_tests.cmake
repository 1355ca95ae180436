# Tests of the tracing client, included from tests/CMakeLists.txt.
add_executable(trace_core_tests ${CMAKE_CURRENT_LIST_DIR}/trace/trace_core_test.cpp)
target_link_libraries(trace_core_tests PRIVATE mrx3p_trace_core GTest::gtest_main)
if(WIN32)
  target_link_libraries(trace_core_tests PRIVATE dcs_host_headers)  # nlohmann-json, staged
endif()
dcs_warnings(trace_core_tests)
gtest_discover_tests(trace_core_tests DISCOVERY_MODE PRE_TEST)

# Programs of the tracer's end-to-end tests.
add_executable(trace_check ${CMAKE_CURRENT_LIST_DIR}/trace/trace_check.cpp)
if(WIN32)
  target_link_libraries(trace_check PRIVATE dcs_host_headers)
endif()
dcs_warnings(trace_check)

add_executable(trace_probe ${CMAKE_CURRENT_LIST_DIR}/trace/trace_probe.cpp)
target_link_libraries(trace_probe PRIVATE ${CMAKE_DL_LIBS})
dcs_warnings(trace_probe)

# The fuzzer's program decoder needs libFuzzer's FuzzedDataProvider, a
# header of its own that comes with clang; it is copied, alone, so that the
# cross compiler sees none of clang's other headers.
file(GLOB DCS_FDP_CANDIDATES /usr/lib/llvm-*/lib/clang/*/include/fuzzer/FuzzedDataProvider.h)
if(DCS_FDP_CANDIDATES)
  list(GET DCS_FDP_CANDIDATES -1 DCS_FDP_HEADER)
  configure_file(${DCS_FDP_HEADER} ${CMAKE_CURRENT_BINARY_DIR}/fdp/fuzzer/FuzzedDataProvider.h COPYONLY)
  include(${PROJECT_SOURCE_DIR}/fuzz/life_cycle_program.cmake)
  target_include_directories(life_cycle_program SYSTEM PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/fdp)
  add_executable(trace_replay ${CMAKE_CURRENT_LIST_DIR}/trace/trace_replay.cpp)
  target_include_directories(trace_replay PRIVATE ${PROJECT_SOURCE_DIR}/dcs ${PROJECT_SOURCE_DIR}/standin/mrx3p)
  target_link_libraries(trace_replay PRIVATE dcs_hostapi dcs_platform)
  # The client library is loaded at run time, never linked: that is the
  # point of the test.
  target_link_libraries(trace_replay PRIVATE life_cycle_program iface user32 ${CMAKE_DL_LIBS})
  if(WIN32)
    target_link_libraries(trace_replay PRIVATE dcs_box_capture)
  endif()
  add_dependencies(trace_replay mrxnt mrx3p mrx3p_trace)
  dcs_warnings(trace_replay)
endif()

set(DCS_TRACE_TEST_ENV
  TRACE_CHECK=$<TARGET_FILE:trace_check> TRACE_PROBE=$<TARGET_FILE:trace_probe>
  TRACER=$<TARGET_FILE:mrx3p_trace> STANDIN=$<TARGET_FILE:mrx3p> DRIVER=$<TARGET_FILE:mrxnt>
  CORPUS=${PROJECT_SOURCE_DIR}/fuzz/life_cycle_corpus EXAMPLES=${PROJECT_SOURCE_DIR}/examples)
if(TARGET trace_replay)
  list(APPEND DCS_TRACE_TEST_ENV TRACE_REPLAY=$<TARGET_FILE:trace_replay>)
endif()

# Put in front of dcs-host, it lets the tracer stand in the stand-in's
# place while dcs-host still controls the stand-in. On Windows it is a
# MRX3P.dll of its own, in a folder of its own so that no other test
# program finds it beside itself in the stand-in's place.
add_library(standin_log_shim SHARED ${CMAKE_CURRENT_LIST_DIR}/trace/standin_log_shim.cpp)
target_include_directories(standin_log_shim PRIVATE ${PROJECT_SOURCE_DIR}/dcs ${PROJECT_SOURCE_DIR}/standin/mrx3p)
target_link_libraries(standin_log_shim PRIVATE dcs_platform ${CMAKE_DL_LIBS})
if(WIN32)
  target_sources(standin_log_shim PRIVATE ${CMAKE_CURRENT_LIST_DIR}/trace/standin_log_shim.def)
  set_target_properties(standin_log_shim PROPERTIES PREFIX "" OUTPUT_NAME MRX3P
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/standin_log_shim)
endif()
dcs_warnings(standin_log_shim)
list(APPEND DCS_TRACE_TEST_ENV SHIM=$<TARGET_FILE:standin_log_shim>)
if(DCS_BUILD_HOST)
  list(APPEND DCS_TRACE_TEST_ENV DCS_HOST=$<TARGET_FILE:dcs-host>)
endif()

# A real library without state, that threads may call at once; on Windows
# it has an ordinal 10 the tracer must pass calls to.
add_library(trace_fake_real SHARED ${CMAKE_CURRENT_LIST_DIR}/trace/fake_real.cpp)
target_link_libraries(trace_fake_real PRIVATE dcs_platform)
set_target_properties(trace_fake_real PROPERTIES PREFIX "")
dcs_warnings(trace_fake_real)
list(APPEND DCS_TRACE_TEST_ENV FAKE_REAL=$<TARGET_FILE:trace_fake_real>)

if(WIN32)
  # Read from the file with the toolchain's objdump; runs natively.
  add_test(NAME trace_pe_tables
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/trace/check_trace_pe.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:mrx3p_trace>)

  target_sources(trace_fake_real PRIVATE ${CMAKE_CURRENT_LIST_DIR}/trace/fake_real.def)
  list(APPEND DCS_TRACE_TEST_ENV RUN=${CMAKE_BINARY_DIR}/win-run.sh IFACE=$<TARGET_FILE:iface>
       OBJDUMP=${CMAKE_OBJDUMP})
  add_test(NAME trace_client_behaviour COMMAND ${CMAKE_CURRENT_LIST_DIR}/trace/trace_client.sh)
  set_tests_properties(trace_client_behaviour PROPERTIES ENVIRONMENT "${DCS_TRACE_TEST_ENV}" TIMEOUT 900)
  if(TARGET trace_replay)
    add_test(NAME trace_differential COMMAND ${CMAKE_CURRENT_LIST_DIR}/trace/trace_differential.sh)
    set_tests_properties(trace_differential PROPERTIES ENVIRONMENT "${DCS_TRACE_TEST_ENV}" TIMEOUT 1800)
  endif()
else()
  add_test(NAME trace_client_behaviour COMMAND ${CMAKE_CURRENT_LIST_DIR}/trace/trace_client.sh)
  set_tests_properties(trace_client_behaviour PROPERTIES ENVIRONMENT "${DCS_TRACE_TEST_ENV}" TIMEOUT 300)
  add_test(NAME trace_differential COMMAND ${CMAKE_CURRENT_LIST_DIR}/trace/trace_differential.sh)
  set_tests_properties(trace_differential PROPERTIES ENVIRONMENT "${DCS_TRACE_TEST_ENV}" TIMEOUT 900)
endif()
