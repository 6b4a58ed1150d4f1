# 32-bit Windows, the system's home: the DLLs the file manager loads. The
# tests run under the 32-bit wine (wine32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_brnet_wine_bits 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
