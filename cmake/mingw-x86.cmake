# Cross-compiling the 32-bit OCX with mingw-w64; tests run through 32-bit
# Wine in an i386 chroot (wine32-run.sh, `make test32`).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAVRO_TRIPLE i686-w64-mingw32)
set(TAVRO_WIDL_TARGET --win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine32-run.sh)
