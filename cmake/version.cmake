# One version for everything: the project version, handed to the version
# resources through a generated header and to scripts through version.txt.
math(EXPR _ferrune_minor "${PROJECT_VERSION_MINOR}+0")
set(_ferrune_patch 0)
if(NOT PROJECT_VERSION_PATCH STREQUAL "")
  math(EXPR _ferrune_patch "${PROJECT_VERSION_PATCH}+0")
endif()
set(FERRUNE_VERSION_RC "${PROJECT_VERSION_MAJOR},${_ferrune_minor},${_ferrune_patch},0")
configure_file(${PROJECT_SOURCE_DIR}/res/version.h.in ${PROJECT_BINARY_DIR}/generated/ferrune_version.h @ONLY)
file(WRITE ${PROJECT_BINARY_DIR}/version.txt "${PROJECT_VERSION}\n")
# Only the resource compiler needs it; C++ gets the version as a definition
# (the window's title, zrv --version, and the tests that check the title).
include_directories($<$<COMPILE_LANGUAGE:RC>:${PROJECT_BINARY_DIR}/generated>)
add_compile_definitions($<$<COMPILE_LANGUAGE:CXX>:FERRUNE_VERSION="${PROJECT_VERSION}">)
