#pragma once

namespace imptherm {

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionBuild = 20;
// "ImpThermOrvane.ocx v1.0.0.20", the progress window's caption.
inline constexpr char kWindowCaption[] = "ImpThermOrvane.ocx v1.0.0.20";
// Sent to the server by the version exchange.
inline constexpr char kVersionText[] = "1,0,0,20";
inline constexpr char kVersionDotted[] = "1.0.0.20";

}  // namespace imptherm
