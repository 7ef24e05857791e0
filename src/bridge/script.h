#pragma once
#include <string>

namespace imptherm::bridge {

// The JavaScript client (src/bridge/web/impthermorvane.js), built into the
// program so that the served module always matches the server.
std::string ClientScript();

}  // namespace imptherm::bridge
