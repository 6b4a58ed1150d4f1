# 32-bit Windows, the system's home: the DLLs the file manager loads.
# Nothing 32-bit can run on this machine's kernel, so this build is compiled
# and checked statically only (no emulator).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
