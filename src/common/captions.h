#pragma once
#include <string>

#include "platform/resources.h"

namespace imptherm {

// Caption k (1 to 17) of the bank that captionBase selects (0, 1000, 2000 or
// 3000); empty when the module holds no such string.
std::string LoadCaption(Resources& resources, int captionBase, int k);

}  // namespace imptherm
