# The two kinds of executable the project builds.

# add_program(NAME SOURCES file... LIBRARIES target...): an installed program of ours.
function(add_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} project_warnings)
  install(TARGETS ${name} RUNTIME DESTINATION bin)
endfunction()

# add_unit_test(NAME SOURCES file... LIBRARIES target... [PRELOAD library]): the unit-test
# executable NAME_test of a part, linked with the shared test support, and its CTest entry NAME;
# with PRELOAD, run with that library target preloaded. Under an emulator the preload goes to the
# emulated program, not to the emulator; a sanitized program must not refuse to start behind it.
function(add_unit_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PRELOAD" "SOURCES;LIBRARIES")
  add_executable(${name}_test ${arg_SOURCES})
  target_link_libraries(${name}_test PRIVATE ${arg_LIBRARIES} test_support GTest::gtest_main
                        project_warnings)
  if(NOT arg_PRELOAD)
    add_test(NAME ${name} COMMAND ${name}_test)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME ${name}
             COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} -E LD_PRELOAD=$<TARGET_FILE:${arg_PRELOAD}>
                     $<TARGET_FILE:${name}_test>)
  else()
    add_test(NAME ${name} COMMAND ${name}_test)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT LD_PRELOAD=$<TARGET_FILE:${arg_PRELOAD}>)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT_MODIFICATION
                       "ASAN_OPTIONS=path_list_append:verify_asan_link_order=0")
endfunction()
