#include "tests/support/BenchFixtures.h"

#include "package/Crc32.h"
#include "package/UpdateManifest.h"
#include "sim/bench/TemporaryBench.h"
#include "tests/support/TestFiles.h"
#include "tools/knpack/PackageSigning.h"
#include "tools/knpack/PackageWriter.h"

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

std::wstring BuildPackage(const std::wstring& folder, const PackageImages& images) {
  knpack::PackageInputs inputs;
  inputs.deviceType = images.deviceType;
  inputs.programFile = folder + L"program.bin";
  inputs.mediaFile = folder + L"media.bin";
  inputs.dataFile = folder + L"data.bin";
  bool written = WriteFileBytes(inputs.programFile, images.program) && WriteFileBytes(inputs.mediaFile, images.media) &&
                 WriteFileBytes(inputs.dataFile, images.data);
  if (!images.bootloader.empty()) {
    inputs.bootloaderFile = folder + L"bootloader.bin";
    written = written && WriteFileBytes(inputs.bootloaderFile, images.bootloader);
  }
  const std::wstring package = folder + L"update.kn";
  std::string error;
  if (images.deviceType.empty()) {
    // The package tool refuses a package for no device type: composed here as a hostile or old
    // builder would.
    ManifestContent content;
    content.programName = "program.bin";
    content.mediaName = "media.bin";
    content.dataName = "data.bin";
    content.programCrc = BufferCrc32(images.program.data(), images.program.size());
    content.mediaCrc = BufferCrc32(images.media.data(), images.media.size());
    content.dataCrc = BufferCrc32(images.data.data(), images.data.size());
    return written && images.bootloader.empty() &&
                   knpack::WriteZipArchive(package,
                                           {knpack::ZipEntry("info", ComposeUpdateManifest(content)),
                                            knpack::ZipEntry("program.bin", images.program),
                                            knpack::ZipEntry("media.bin", images.media),
                                            knpack::ZipEntry("data.bin", images.data)},
                                           error)
               ? package
               : std::wstring();
  }
  return written && knpack::BuildUpdatePackage(inputs, package, error) ? package : std::wstring();
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
