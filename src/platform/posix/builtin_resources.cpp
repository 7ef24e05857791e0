#include "platform/posix/builtin_resources.h"

#include <map>

namespace imptherm::posix {

std::optional<std::string> BuiltinResources::LoadString(int id) {
  static const std::map<int, std::string> kTable = {
#define STRING_RESOURCE(id, text) {id, text},
#include "platform/string_table.inc"
#undef STRING_RESOURCE
  };
  auto it = kTable.find(id);
  if (it == kTable.end()) return std::nullopt;
  return it->second;
}

}  // namespace imptherm::posix
