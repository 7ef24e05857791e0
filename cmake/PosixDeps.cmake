# Libraries of the POSIX backend. Each block adds what one backend file needs
# to IMPTHERM_POSIX_LIBS, _INCLUDES, _DEFINES and _CFLAGS.
find_package(PkgConfig REQUIRED)
set(IMPTHERM_POSIX_LIBS "")
set(IMPTHERM_POSIX_INCLUDES "")
set(IMPTHERM_POSIX_DEFINES "")
set(IMPTHERM_POSIX_CFLAGS "")

# CUPS: printer list, raw and PDF jobs. Its headers only: the library is
# loaded when a printer is first asked for (cups_library.cpp), so that a run
# to a file or a port starts without it. CUPS_LIBRARY is for the tests that
# talk to a print server themselves.
find_path(CUPS_INCLUDE_DIR cups/cups.h REQUIRED)
find_library(CUPS_LIBRARY cups REQUIRED)
list(APPEND IMPTHERM_POSIX_LIBS ${CMAKE_DL_LIBS})
list(APPEND IMPTHERM_POSIX_INCLUDES ${CUPS_INCLUDE_DIR})

# nettle: MD4 and HMAC-MD5 for the NTLMv2 messages of the proxy authentication.
find_path(NETTLE_INCLUDE_DIR nettle/md4.h REQUIRED)
find_library(NETTLE_LIBRARY nettle REQUIRED)
list(APPEND IMPTHERM_POSIX_LIBS ${NETTLE_LIBRARY})
list(APPEND IMPTHERM_POSIX_INCLUDES ${NETTLE_INCLUDE_DIR})

# cairo: sheet documents drawn to PDF (the fonts come through fontconfig).
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
list(APPEND IMPTHERM_POSIX_LIBS PkgConfig::CAIRO)
# zlib: label previews written as one-bit PNG files, as a print head draws
# (one_bit_png: its checksums; the tests inflate the files with it).
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
list(APPEND IMPTHERM_POSIX_LIBS PkgConfig::ZLIB)
