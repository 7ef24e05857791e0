# Cross build for 64-bit Windows (g++-mingw-w64-x86-64). Internet Explorer
# mode tabs that run 64-bit load only 64-bit controls, so both builds ship.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
