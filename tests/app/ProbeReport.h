// The probes' report: one line per expectation, "ok" or "FAIL", and the count of failures
// that becomes the probe's exit code.
#pragma once

#include <cstdio>

class ProbeReport {
 public:
  void Check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++m_failures;
  }
  int ExitCode() const { return m_failures == 0 ? 0 : 1; }

 private:
  int m_failures = 0;
};
