# Cross-compiling the 64-bit OCX with mingw-w64; tests run through Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAVRO_TRIPLE x86_64-w64-mingw32)
set(TAVRO_WIDL_TARGET --win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
