#pragma once
#include <string>
#include <string_view>

#include "platform/system.h"

namespace imptherm {

// Appends bytes to a file, creating it when missing, through
// System::OpenOutputFile (private new files, refused names). A file that
// exists but cannot be appended to is left exactly as it is and
// PlatformError is raised: nothing already written is ever emptied.
void AppendToFile(System& system, const std::string& path, std::string_view bytes);

// Creates the file, or empties it when it exists. Raises PlatformError.
void CreateEmptyFile(System& system, const std::string& path);

}  // namespace imptherm
