# 64-bit Windows: the same sources as the 32-bit DLLs, for FAR 3 x64. The
# tests run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_brnet_wine_bits 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
