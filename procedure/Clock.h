// Where the update takes its times from: the system's clocks, or a test's.
#pragma once

#include <cstdint>
#include <string>

class Clock {
 public:
  virtual ~Clock() = default;
  // A monotonic count of milliseconds: durations are differences of two readings.
  virtual std::uint64_t Milliseconds() const = 0;
  // Now as the history writes it: ISO 8601, UTC, whole seconds.
  virtual std::wstring UtcTimestamp() const = 0;
};

// GetTickCount64 and the system time.
const Clock& SystemClock();
