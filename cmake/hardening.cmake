# The hardening Debian builds its own packages with, as dpkg-buildflags gives it for this
# machine's dpkg (fortified functions, stack protector, format security, read-only relocations
# bound at start-up; gcc makes position-independent executables by default). Its -g and -O2 are
# left out: the build type chooses those.
option(HARDENED_BUILD "Build with Debian's hardening flags (dpkg-buildflags)" OFF)
if(NOT HARDENED_BUILD)
  return()
endif()

find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
set(hardening_env DEB_BUILD_MAINT_OPTIONS=hardening=+all "DEB_CFLAGS_MAINT_STRIP=-g -O2"
    "DEB_CXXFLAGS_MAINT_STRIP=-g -O2")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
  list(APPEND hardening_env DEB_HOST_ARCH=armhf)
endif()
foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${hardening_env} ${DPKG_BUILDFLAGS} --get ${kind}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  # Each build's own path, which dpkg-buildflags maps away, would make the flags differ by tree.
  string(REGEX REPLACE "-ffile-prefix-map=[^ ]*" "" flags "${flags}")
  separate_arguments(hardening_${kind} UNIX_COMMAND "${flags}")
endforeach()

add_compile_options(${hardening_CPPFLAGS} "$<$<COMPILE_LANGUAGE:C>:${hardening_CFLAGS}>"
                    "$<$<COMPILE_LANGUAGE:CXX>:${hardening_CXXFLAGS}>")
add_link_options(${hardening_LDFLAGS})
include(CheckPIESupported)
check_pie_supported()
