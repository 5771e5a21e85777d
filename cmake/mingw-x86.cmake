# Cross-compiling the 32-bit OCX with mingw-w64 (build only: no 32-bit Wine here).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAVRO_TRIPLE i686-w64-mingw32)
set(TAVRO_WIDL_TARGET --win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
