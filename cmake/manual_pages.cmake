# Manual pages, written in scdoc and converted at build time.
find_program(SCDOC scdoc REQUIRED)
find_program(GZIP gzip REQUIRED)

# add_manual_page(SOURCE): SOURCE is NAME.SECTION.scd; @PROJECT_VERSION@ in it becomes the
# version. Builds NAME.SECTION (for groff and man -l) and its gzip copy under man/, installs the
# copy under share/man/manSECTION, and on the host adds the test manual_page_NAME.SECTION: groff
# must find nothing to warn about.
function(add_manual_page source)
  get_filename_component(file ${source} NAME)
  string(REGEX REPLACE "\\.scd$" "" page ${file})
  string(REGEX MATCH "[0-9]$" section ${page})
  set(configured ${CMAKE_BINARY_DIR}/man/${file})
  set(out ${CMAKE_BINARY_DIR}/man/${page})
  configure_file(${source} ${configured} @ONLY)
  add_custom_command(
    OUTPUT ${out} ${out}.gz
    COMMAND sh -c "\"$1\" < \"$2\" > \"$3\" && \"$4\" -9n -c \"$3\" > \"$3.gz\""
            sh ${SCDOC} ${configured} ${out} ${GZIP}
    DEPENDS ${configured}
    COMMENT "Converting the manual page ${page}"
    VERBATIM)
  add_custom_target(man_${page} ALL DEPENDS ${out} ${out}.gz)
  install(FILES ${out}.gz DESTINATION share/man/man${section})
  if(BUILD_TESTING AND NOT CMAKE_CROSSCOMPILING)
    add_test(NAME manual_page_${page}
             COMMAND sh -c "w=$(groff -ww -z -man \"$1\" 2>&1); printf '%s' \"$w\"; [ -z \"$w\" ]"
                     sh ${out})
  endif()
endfunction()
