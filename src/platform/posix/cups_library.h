#pragma once
#include <cups/cups.h>

namespace imptherm::posix {

// The functions of libcups this backend calls.
#define IMPTHERM_CUPS_FUNCTIONS(X) \
  X(cupsCancelDestJob)             \
  X(cupsCopyDestInfo)              \
  X(cupsCreateDestJob)             \
  X(cupsDoRequest)                 \
  X(cupsEncryption)                \
  X(cupsFindDestDefault)           \
  X(cupsFindDestSupported)         \
  X(cupsFinishDestDocument)        \
  X(cupsFreeDestInfo)              \
  X(cupsFreeDests)                 \
  X(cupsGetDefault2)               \
  X(cupsGetDest)                   \
  X(cupsGetDests2)                 \
  X(cupsGetNamedDest)              \
  X(cupsGetOption)                 \
  X(cupsLastError)                 \
  X(cupsLastErrorString)           \
  X(cupsPrintFile2)                \
  X(cupsServer)                    \
  X(cupsStartDestDocument)         \
  X(cupsUser)                      \
  X(cupsWriteRequestData)          \
  X(httpClose)                     \
  X(httpConnect2)                  \
  X(httpGetFd)                     \
  X(httpSeparateURI)               \
  X(httpSetTimeout)                \
  X(ippAddInteger)                 \
  X(ippAddString)                  \
  X(ippAddStrings)                 \
  X(ippContainsString)             \
  X(ippDelete)                     \
  X(ippFindAttribute)              \
  X(ippFindNextAttribute)          \
  X(ippGetCount)                   \
  X(ippGetInteger)                 \
  X(ippGetResolution)              \
  X(ippGetString)                  \
  X(ippNewRequest)                 \
  X(ippPort)

// libcups, loaded the first time a printer is asked for: a print run to a
// file or a port never loads it, nor the thirty libraries it brings, and
// starts that much sooner. The functions are called through their members,
// named as libcups names them.
struct CupsLibrary {
#define IMPTHERM_CUPS_POINTER(name) decltype(&::name) name;
  IMPTHERM_CUPS_FUNCTIONS(IMPTHERM_CUPS_POINTER)
#undef IMPTHERM_CUPS_POINTER
};

// The library, loaded on the first call. Raises PlatformError when it
// cannot be loaded.
const CupsLibrary& Cups();

}  // namespace imptherm::posix
