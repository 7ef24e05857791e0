#include "common/captions.h"

namespace imptherm {

std::string LoadCaption(Resources& resources, int captionBase, int k) {
  return resources.LoadString(k + captionBase).value_or("");
}

}  // namespace imptherm
