#include "bridge/script.h"

namespace imptherm::bridge {
namespace {

const unsigned char kScript[] = {
#include "bridge_script.inc"
};

}  // namespace

std::string ClientScript() { return std::string(reinterpret_cast<const char*>(kScript), sizeof kScript - 1); }

}  // namespace imptherm::bridge
