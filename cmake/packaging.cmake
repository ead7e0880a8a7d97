# Debian packages made by CPack (scripts/package): camtools-sim from a simulated build, camtools
# from a board build. The metadata leaves out what the project does not have (a homepage).
set(PACKAGE_MAINTAINER "Seed 1eb7620c maintainers <maintainers@users.noreply.c-seed-1eb7620c.example>"
    CACHE STRING "The Maintainer field of the Debian packages")

# The description's lines stay within 72 characters, and without semicolons (a CMake list).
if(SIMULATED_PLATFORM)
  set(package_name camtools-sim)
  set(other_package camtools)
  set(package_summary "camera pipeline tools with a simulated SoC platform")
  set(package_body "warpbench drives the fisheye-correction engine of libLenswarp.so, and
quillox asks the camera tuning service for dumps. This build carries
the simulated platform a development host needs: a software
libLenswarp.so, a simulated SoC DRM device (socsim) and a stand-in
tuning service (tqzel-sim), with the test-picture and mesh tools and
camtools-check.")
else()
  set(package_name camtools)
  set(other_package camtools-sim)
  set(package_summary "camera pipeline tools for the SoC's fisheye-correction engine")
  set(package_body "warpbench drives the fisheye-correction engine of the SoC maker's
libLenswarp.so, which must be installed on the board, and quillox asks
the camera tuning service for dumps. With the test-picture and mesh
tools, and camtools-check, which tells whether a board is ready.")
endif()

# The files Debian wants in every package's documentation directory. The changelog's date is the
# build's (SOURCE_DATE_EPOCH when set, for a reproducible package).
string(TIMESTAMP PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(PACKAGE_NAME ${package_name})
set(doc_dir ${CMAKE_BINARY_DIR}/package-doc)
configure_file(${CMAKE_CURRENT_LIST_DIR}/package/changelog.in ${doc_dir}/changelog @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/package/copyright.in ${doc_dir}/copyright @ONLY)
execute_process(COMMAND ${GZIP} -9n -f ${doc_dir}/changelog)
install(FILES ${doc_dir}/changelog.gz ${doc_dir}/copyright DESTINATION share/doc/${package_name})

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
  set(package_arch armhf)
else()
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE package_arch
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${package_name})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${package_arch})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# Both install the same programs.
set(CPACK_DEBIAN_PACKAGE_CONFLICTS ${other_package})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${package_summary}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${package_body}")
# Depends comes from what the binaries link; the maker's library belongs to no Debian package,
# so dpkg-shlibdeps is only shown where it lies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(NOT SIMULATED_PLATFORM)
  get_filename_component(maker_library_dir "${LENSWARP_LIBRARY}" DIRECTORY)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${maker_library_dir})
endif()
include(CPack)
