// A bench in a fresh folder under the user's temporary directory, removed with its files at
// the end of its scope: how tests and demos make their fixtures.
#pragma once

#include <string>

#include "sim/bench/Bench.h"

namespace sim {

class TemporaryBench {
 public:
  TemporaryBench();
  ~TemporaryBench();
  TemporaryBench(const TemporaryBench&) = delete;
  TemporaryBench& operator=(const TemporaryBench&) = delete;

  bool created() const { return created_; }
  Bench& bench() { return bench_; }
  const std::wstring& folder() const { return bench_.folder(); }

  // Points KN_BENCH at this bench for the calling process (and what it starts).
  bool Activate() const;

 private:
  Bench bench_;
  bool created_ = false;
};

// An instrument with plausible defaults for the given id, mode and model; its serial number
// is its id.
Instrument MakeInstrument(const std::wstring& id, const std::wstring& product, std::uint32_t model, Mode mode);

}  // namespace sim
