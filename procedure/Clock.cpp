#include "procedure/Clock.h"

#include <windows.h>

#include "history/UpdateHistory.h"

namespace {

class SystemTimes : public Clock {
 public:
  std::uint64_t Milliseconds() const override { return GetTickCount64(); }
  std::wstring UtcTimestamp() const override { return ::UtcTimestamp(); }
};

}  // namespace

const Clock& SystemClock() {
  static const SystemTimes clock;
  return clock;
}
