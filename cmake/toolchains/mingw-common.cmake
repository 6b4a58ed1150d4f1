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
