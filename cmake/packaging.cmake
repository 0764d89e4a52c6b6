# The Debian package of the native zrv, made by CPack from the install rules:
# the tool, its manual and the Debian documentation files.
find_program(FERRUNE_GZIP gzip REQUIRED)
set(_pkg_src ${PROJECT_SOURCE_DIR}/packaging/debian)
set(_pkg_out ${PROJECT_BINARY_DIR}/packaging)

# The copyright file carries LICENSE word for word: one blank line is " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" _license "${_license}")
string(REGEX REPLACE "\n$" "" _license "${_license}")
string(REGEX REPLACE "\n\n" "\n.\n" _license "${_license}")
string(REGEX REPLACE "\n" "\n " FERRUNE_LICENSE_TEXT " ${_license}")
# What zrv carries besides its own code, as cmake/notices.cmake found it.
set(FERRUNE_COPYRIGHT_CARRIES "")
set(FERRUNE_COPYRIGHT_UNISTRING "")
if(FERRUNE_STATIC_UNISTRING)
  set(FERRUNE_COPYRIGHT_CARRIES " GNU libunistring (linked statically)")
  file(READ ${_pkg_src}/copyright-unistring.in FERRUNE_COPYRIGHT_UNISTRING)
  string(CONFIGURE "\n${FERRUNE_COPYRIGHT_UNISTRING}" FERRUNE_COPYRIGHT_UNISTRING @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_pkg_src}/copyright-unistring.in)
endif()
configure_file(${_pkg_src}/copyright.in ${_pkg_out}/copyright @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

# The manual's footer names the version, which only the project states.
file(READ ${PROJECT_SOURCE_DIR}/cli/zrv.1 _man)
string(REPLACE "\"Ferrune\" \"User Commands\"" "\"Ferrune ${PROJECT_VERSION}\" \"User Commands\"" _man "${_man}")
file(GENERATE OUTPUT ${_pkg_out}/zrv.1 CONTENT "${_man}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cli/zrv.1)

# No name and no time in the gzip header, so the files are the same every time.
set(_gz_files)
foreach(_pair "${_pkg_out}/zrv.1|zrv.1.gz" "${_pkg_src}/changelog|changelog.Debian.gz")
  string(REPLACE "|" ";" _pair "${_pair}")
  list(GET _pair 0 _in)
  list(GET _pair 1 _name)
  add_custom_command(OUTPUT ${_pkg_out}/${_name}
    COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${FERRUNE_GZIP} ${_in} ${_pkg_out}/${_name}
    DEPENDS ${_in} VERBATIM)
  list(APPEND _gz_files ${_pkg_out}/${_name})
endforeach()
add_custom_target(zrv_docs ALL DEPENDS ${_gz_files})

install(FILES ${_pkg_out}/zrv.1.gz DESTINATION share/man/man1)
install(FILES ${_pkg_out}/copyright ${_pkg_out}/changelog.Debian.gz ${PROJECT_BINARY_DIR}/THIRD-PARTY-NOTICES.txt
  DESTINATION share/doc/zrv)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zrv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encrypt files with a password into Ferrune's .zrv files")
# CPack puts the summary in front and indents the lines for the control file.
file(READ ${_pkg_src}/description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ferrune developers <maintainers@ferrune.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the binary's own needs (dpkg-shlibdeps), worked out when cpack
# runs, with the names that differ between the releases as alternatives.
file(GENERATE OUTPUT ${_pkg_out}/cpack-project.cmake CONTENT
  "set(FERRUNE_ZRV \"$<TARGET_FILE:zrv>\")\nset(FERRUNE_WORK_DIR \"${_pkg_out}/shlibdeps\")\ninclude(\"${PROJECT_SOURCE_DIR}/cmake/deb_depends.cmake\")\n")
set(CPACK_PROJECT_CONFIG_FILE ${_pkg_out}/cpack-project.cmake)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
include(CPack)
