# Cross build for Windows with Debian's mingw-w64, for the processor that
# the including toolchain file sets (i686 or x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(IMPTHERM_MINGW_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
# The POSIX threads flavour: the bridge serves HTTP on one thread while a print
# run holds another, and the Windows threads flavour of GCC 12 has no
# std::thread or std::mutex.
set(CMAKE_C_COMPILER ${IMPTHERM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${IMPTHERM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${IMPTHERM_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${IMPTHERM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
