#include "tests/support/BenchFixtures.h"

#include "sim/bench/TemporaryBench.h"
#include "tests/support/TestFiles.h"
#include "tools/knpack/PackageSigning.h"

namespace testing_support {

bool SaveDefaultInstruments(sim::Bench& bench, const InstrumentTiming& timing) {
  const struct {
    const wchar_t* id;
    const wchar_t* product;
    std::uint32_t model;
    sim::Mode mode;
  } instruments[] = {{L"tw", L"TW 3xx", 4181, sim::Mode::kApplication},
                     {L"qm", L"QM 5xx", 4100, sim::Mode::kApplication},
                     {L"vx", L"VX 5xx", 4200, sim::Mode::kDfu}};
  std::uint32_t address = 1;
  for (const auto& entry : instruments) {
    sim::Instrument instrument = sim::MakeInstrument(entry.id, entry.product, entry.model, entry.mode);
    instrument.bus_address = address++;
    instrument.mode_changed_at = timing.modeChangedAt;
    instrument.reenumeration_ms = timing.reenumerationMs;
    instrument.bytes_per_second = timing.bytesPerSecond;
    if (!bench.Save(instrument)) return false;
  }
  return true;
}

}  // namespace testing_support

namespace testing_support {

TrustedMaker::TrustedMaker(const std::wstring& name, const std::wstring& trustedKeysFile)
    : m_trustedKeysFile(trustedKeysFile) {
  std::wstring fingerprint, error;
  m_ready = knpack::WriteKeyPair(name, m_keys / L"maker", fingerprint, error) &&
            WriteFileBytes(m_trustedKeysFile, ReadFileBytes(m_keys / L"maker.pub"));
}

TrustedMaker::~TrustedMaker() { DeleteFileW(m_trustedKeysFile.c_str()); }

bool TrustedMaker::Sign(const std::wstring& package) {
  std::wstring signer, error;
  return knpack::SignPackage(package, m_keys / L"maker.key", package, signer, error);
}

}  // namespace testing_support
