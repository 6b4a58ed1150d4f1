# 64-bit Windows: the same sources as the 32-bit DLLs, built so that the
# unit tests can run under wine64 through ctest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# ctest and gtest discovery run the test programs through this. One wine
# prefix per build tree, made on first use (a few seconds, ~0.7 GB).
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
    ${CMAKE_CURRENT_LIST_DIR}/../../tests/win/wine64.sh
    CACHE STRING "Runs x86_64 Windows programs")
