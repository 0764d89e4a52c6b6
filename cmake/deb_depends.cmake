# Read by cpack before it makes the package: Depends from what zrv links
# (dpkg-shlibdeps), with the one name that differs between the releases
# written as alternatives. OpenSSL 3's library is libssl3 on Debian 12 and
# Ubuntu 22.04 and libssl3t64 from Debian 13 and Ubuntu 24.04 on; the others
# (libc6, libstdc++6, libgcc-s1) have one name everywhere.
#   FERRUNE_ZRV       the binary
#   FERRUNE_WORK_DIR  a folder for dpkg-shlibdeps, which wants debian/control
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(REMOVE_RECURSE ${FERRUNE_WORK_DIR})
file(WRITE ${FERRUNE_WORK_DIR}/debian/control "")
execute_process(COMMAND dpkg-shlibdeps -O ${FERRUNE_ZRV}
  WORKING_DIRECTORY ${FERRUNE_WORK_DIR}
  OUTPUT_VARIABLE _out ERROR_VARIABLE _err RESULT_VARIABLE _status OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT _status EQUAL 0 OR NOT _out MATCHES "^shlibs:Depends=")
  message(FATAL_ERROR "dpkg-shlibdeps on ${FERRUNE_ZRV} failed: ${_err}")
endif()
string(REGEX REPLACE "^shlibs:Depends=" "" _depends "${_out}")
if(_depends MATCHES "libunistring")
  message(FATAL_ERROR "zrv links libunistring dynamically (${_depends}); configure with -DFERRUNE_STATIC_UNISTRING=ON")
endif()
string(REGEX REPLACE "(libssl3 \\([^)]*\\))" "\\1 | libssl3t64" _depends "${_depends}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_depends}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
