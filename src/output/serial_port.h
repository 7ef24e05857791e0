#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "output/channels.h"
#include "platform/serial.h"

namespace imptherm {

// Waits measured on the clock, in milliseconds.
inline constexpr std::uint32_t kDsrWaitPeriodMs = 5000;
inline constexpr std::uint32_t kReadyWaitPeriodMs = 2000;
inline constexpr std::uint32_t kTransmitFullPauseMs = 2000;
inline constexpr std::uint32_t kDrainPauseMs = 100;

// OsKind 1, 4 and 5.
bool IsWin9xFamily(int osKind);

// A pause of `milliseconds` that processes no events.
void DelayMs(System& system, bool win9xFamily, std::uint32_t milliseconds);

// Returns once the printer raises DSR; waits as long as it takes.
void WaitForDsr(OutputContext& ctx, SerialPort& port);

// Writes the job one byte at a time, each byte only while CTS and DSR are
// both on. Every byte goes out exactly once, however long the printer keeps
// the lines down.
void WriteSerialJob(OutputContext& ctx, SerialPort& port, const std::string& portName, std::string_view job,
                    bool win9xFamily);

}  // namespace imptherm
