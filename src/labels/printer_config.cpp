#include "labels/printer_config.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "base/text.h"
#include "common/logs.h"
#include "platform/error.h"

namespace imptherm {
namespace {

constexpr int kMaxParams = 99;
// The escape is closed before "crire": \xE9c would read as one hex number.
constexpr char kCannotWrite[] =
    "Impossible d'\xE9"
    "crire dans ";

struct Model {
  const char* section;
  std::array<const char*, 8> defaults;
};

const Model kModels[] = {
    {"LP2642", {"N", "S3", "D9", "ON,D", "I8,1,033", "ZT", "R0,0", "Q1080,24"}},
    {"LP2742", {"N", "S3", "D9", "ON,D", "I8,1,033", "ZT", "R0,0", "Q1080,24"}},
    {"ELTRON 2746", {"N", "S6", "D9", "ON,D", "I8,1,033", "ZT", "R0,0", "Q1080,24"}},
    {"ZEBRA 2844", {"N", "S3", "D9", "ON,D", "I8,1,033", "ZT", "R0,0", "Q1080,24"}},
    {"ZEBRA S4M", {"N", "S5", "D9", "ON,D", "I8,1,033", "ZT", "R0,0", "Q1080,2"}},
};

const Model* ModelOf(const std::string& prnType) {
  if (prnType.size() != 1 || prnType[0] < '1' || prnType[0] > '5') return nullptr;
  return &kModels[prnType[0] - '1'];
}

std::string ParamKey(int k) {
  char key[16];
  std::snprintf(key, sizeof key, "Param%2.2d", k);
  return key;
}

// Read once a job for every key of the section: no copy of the name.
bool StartsWithParam(const std::string& name) {
  constexpr std::string_view kWord = "PARAM";
  for (std::size_t i = 0; i < kWord.size(); ++i) {
    const char c = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
    if (c != kWord[i]) return false;
  }
  return true;
}

// The values of Param01 to Param99 by number (none where a key is missing),
// each the first one the section holds, names matched without regard to
// letter case as the profile functions match them.
using ParamValues = std::array<const std::string*, kMaxParams + 1>;
ParamValues ParamValuesOf(const ProfileFiles::Entries& section) {
  ParamValues values{};
  for (const auto& [name, value] : section) {
    if (name.size() != 7 || !StartsWithParam(name)) continue;
    if (name[5] < '0' || name[5] > '9' || name[6] < '0' || name[6] > '9') continue;
    const int k = (name[5] - '0') * 10 + (name[6] - '0');
    if (k == 0 || values[k]) continue;
    values[k] = &value;
  }
  return values;
}

bool Filled(const std::string* value) { return value && !value->empty(); }

void AppendLines(std::string& lines, const ProfileFiles::Entries& section) {
  const ParamValues values = ParamValuesOf(section);
  for (int k = 1; k <= kMaxParams && Filled(values[k]); ++k) {
    lines += *values[k];
    lines += "\r\n";
  }
}

void WriteDefaults(System& system, ProfileFiles& profiles, const std::string& path, const Model& model) {
  SharedDataFolder(system);
  bool written = true;
  for (int k = 1; written && k <= static_cast<int>(model.defaults.size()); ++k)
    written = profiles.WriteString(path, model.section, ParamKey(k), model.defaults[k - 1]);
  if (!written || !profiles.Flush(path)) throw PlatformError(kCannotWrite + path);
}

}  // namespace

std::string LoadPrinterConfiguration(System& system, ProfileFiles& profiles, const std::string& prnType) {
  PrinterConfiguration configuration;
  return configuration.Load(system, profiles, prnType);
}

const std::string& PrinterConfiguration::Load(System& system, ProfileFiles& profiles, const std::string& prnType) {
  const Model* model = ModelOf(prnType);
  if (!model) {
    section_ = nullptr;
    lines_.clear();
    return lines_;
  }
  // The folder is made (again) only when the defaults must be written: the
  // driver made it when the run began, and a read needs no folder.
  const std::string path = SharedDataFolderPath(system) + system.PathSeparator() + kPrinterConfigFileName;
  const ProfileFiles::Entries& entries = profiles.ReadSection(path, model->section);
  // The lines follow from the section's entries alone.
  if (section_ == model->section && entries == entries_) return lines_;
  section_ = nullptr;
  lines_.clear();
  if (!Filled(ParamValuesOf(entries)[1])) {
    WriteDefaults(system, profiles, path, *model);
    AppendLines(lines_, profiles.ReadSection(path, model->section));
    return lines_;
  }
  AppendLines(lines_, entries);
  section_ = model->section;
  entries_ = entries;
  return lines_;
}

}  // namespace imptherm
