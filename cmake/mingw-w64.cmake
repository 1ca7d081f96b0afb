# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (POSIX thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries cross-built by scripts/setup from Debian's source packages.
if(NOT TOLVEK_DEPS_PREFIX)
  if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(_cache "$ENV{XDG_CACHE_HOME}")
  else()
    set(_cache "$ENV{HOME}/.cache")
  endif()
  set(TOLVEK_DEPS_PREFIX "${_cache}/tolvek-deps/current/prefix" CACHE PATH "Windows libraries")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${TOLVEK_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
