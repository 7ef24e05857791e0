#include "platform/posix/cups_library.h"

#include <dlfcn.h>

#include <string>
#include <type_traits>

#include "platform/error.h"

namespace imptherm::posix {
namespace {

// The soname the headers belong to: the one the package depends on.
constexpr char kCupsSoname[] = "libcups.so.2";

CupsLibrary Load() {
  void* handle = ::dlopen(kCupsSoname, RTLD_NOW | RTLD_LOCAL);
  if (!handle) throw PlatformError(std::string("CUPS cannot be used: ") + ::dlerror());
  // Kept loaded for the life of the process, as a linked library is.
  CupsLibrary cups{};
  auto find = [&](auto& pointer, const char* name) {
    void* symbol = ::dlsym(handle, name);
    if (!symbol) throw PlatformError(std::string("CUPS cannot be used: ") + kCupsSoname + " has no " + name);
    pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(symbol);
  };
#define IMPTHERM_CUPS_FIND(name) find(cups.name, #name);
  IMPTHERM_CUPS_FUNCTIONS(IMPTHERM_CUPS_FIND)
#undef IMPTHERM_CUPS_FIND
  return cups;
}

}  // namespace

const CupsLibrary& Cups() {
  // Loaded once, by whichever thread asks first; a failed load is tried
  // again at the next call.
  static const CupsLibrary cups = Load();
  return cups;
}

}  // namespace imptherm::posix
