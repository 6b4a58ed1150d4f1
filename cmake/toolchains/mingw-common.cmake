# MinGW-w64 from Debian, shared by the i686 and x86_64 toolchain files.
set(_brnet_triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
# The -posix compilers: GoogleTest needs std::mutex, which the -win32 thread
# model of gcc 12 lacks. The unsuffixed names are alternatives that may point
# to either model.
set(CMAKE_C_COMPILER ${_brnet_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_brnet_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_brnet_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_brnet_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Everything static: the DLLs and programs import only system DLLs, never
# libstdc++-6.dll, libgcc_s_*.dll or libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# Release by default, at -O2 like the native builds, without DWARF debug
# information (no Windows debugger reads it; it would double compile times).
# The symbol table stays: the stdcall check reads it.
set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type")
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "C flags of Release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "C++ flags of Release builds")

# ctest and gtest discovery run the test programs through this. One wine
# prefix per build tree, made on first use (a few seconds, ~0.7 GB). Only
# where wine of the target's bitness runs: some kernels (virtual machines
# among them) refuse 32-bit programs even with wine32 installed. Without it
# the build is checked from its binaries (tests/win) and nothing is run.
if(_brnet_wine_bits EQUAL 32)
  set(_brnet_wine_loader /usr/lib/wine/wine)
else()
  set(_brnet_wine_loader /usr/lib/wine/wine64)
endif()
execute_process(COMMAND ${_brnet_wine_loader} --version RESULT_VARIABLE _brnet_wine_result
                OUTPUT_QUIET ERROR_VARIABLE _brnet_wine_error)
if(_brnet_wine_result EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINE_BITS=${_brnet_wine_bits}
      ${CMAKE_CURRENT_LIST_DIR}/../../tests/win/wine.sh)
else()
  get_property(_brnet_wine_warned GLOBAL PROPERTY BRNET_WINE_WARNED)
  if(NOT _brnet_wine_warned)
    set_property(GLOBAL PROPERTY BRNET_WINE_WARNED ON)
    string(STRIP "${_brnet_wine_error}" _brnet_wine_error)
    message(WARNING "${_brnet_wine_loader} does not run here (exit ${_brnet_wine_result}: "
            "${_brnet_wine_error}): the ${_brnet_wine_bits}-bit Windows build is checked from its "
            "binaries only; its tests and FAR are not run. Install wine${_brnet_wine_bits} "
            "(scripts/install-deps.sh); a kernel without 32-bit support runs no wine32 at all.")
  endif()
endif()
