# The two kinds of executable the project builds.

# add_program(NAME SOURCES file... LIBRARIES target...): an installed program of ours.
function(add_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} project_warnings)
  install(TARGETS ${name} RUNTIME DESTINATION bin)
endfunction()

# add_unit_test(NAME SOURCES file... LIBRARIES target...): the unit-test executable NAME_test of
# a part, linked with the shared test support, and its CTest entry NAME.
function(add_unit_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
  add_executable(${name}_test ${arg_SOURCES})
  target_link_libraries(${name}_test PRIVATE ${arg_LIBRARIES} test_support GTest::gtest_main
                        project_warnings)
  add_test(NAME ${name} COMMAND ${name}_test)
endfunction()
