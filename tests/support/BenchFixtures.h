// Fixtures shared by the tests that update instruments on a bench: the default bench's three
// instruments, and makers whose signed packages a workstation trusts (packages themselves come
// from TestPackages).
#pragma once

#include <cstdint>
#include <string>

#include "sim/bench/Bench.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPackages.h"

namespace testing_support {

struct InstrumentTiming {
  std::int64_t modeChangedAt;  // on the bus since (bench clock)
  std::uint32_t reenumerationMs;
  std::uint32_t bytesPerSecond = 0;  // unpaced
};

// "TW 3xx" (id tw, model 4181, address 1) and "QM 5xx" (qm, 4100, 2) in application mode,
// "VX 5xx" (vx, 4200, 3) in DFU mode, in this bus order.
bool SaveDefaultInstruments(sim::Bench& bench, const InstrumentTiming& timing);

}  // namespace testing_support

namespace testing_support {

// A maker whose packages a workstation trusts: a new key pair in a scratch folder, and its
// public key written as trustedKeysFile (trusted-keys.txt beside a program) for as long as the
// object lives.
class TrustedMaker {
 public:
  TrustedMaker(const std::wstring& name, const std::wstring& trustedKeysFile);
  ~TrustedMaker();
  TrustedMaker(const TrustedMaker&) = delete;
  TrustedMaker& operator=(const TrustedMaker&) = delete;

  bool ready() const { return m_ready; }
  // Signs the package in place.
  bool Sign(const std::wstring& package);

 private:
  ScratchDirectory m_keys;
  std::wstring m_trustedKeysFile;
  bool m_ready = false;
};

}  // namespace testing_support
