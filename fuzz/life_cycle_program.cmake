# The life-cycle fuzzer's program decoder, shared by the fuzzer and the trace
# replay of its kept programs; included by the build of each. It needs
# libFuzzer's FuzzedDataProvider: clang's own in the fuzz build, a staged
# copy (given by the includer) in the test builds.
if(NOT TARGET life_cycle_program)
  add_library(life_cycle_program STATIC ${CMAKE_CURRENT_LIST_DIR}/life_cycle_program.cpp)
  target_include_directories(life_cycle_program PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  # The stand-in server's operation and kind numbers only: the trace replay
  # loads the server at run time and must not link it.
  target_include_directories(life_cycle_program PRIVATE ${PROJECT_SOURCE_DIR}/standin/mrx3p)
  target_link_libraries(life_cycle_program PUBLIC case_block PRIVATE iface)
  dcs_warnings(life_cycle_program)
endif()
