// Manifests as a package may carry them. Input: the manifest's bytes, read as the updater
// reads them; the same bytes then, taken as a bootloader flag, four check values and five
// length-prefixed fields, make a manifest the package tool composes. Promises: lines never
// hold a line feed or a Ctrl-Z and never exceed the limit when the manifest is accepted; a
// composed manifest reads back the same; check values are "%u".
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "package/Crc32.h"
#include "package/UpdateManifest.h"

namespace {

class StringLines : public ManifestLineReader {
 public:
  explicit StringLines(const std::string& text) : m_text(text) {}

 protected:
  int NextByte() override { return m_at < m_text.size() ? static_cast<unsigned char>(m_text[m_at++]) : -1; }

 private:
  const std::string& m_text;
  std::size_t m_at = 0;
};

void CheckRead(const std::string& text) {
  StringLines lines(text);
  UpdateManifest manifest;
  if (!ReadUpdateManifest(lines, manifest)) return;
  for (const std::string* line :
       {&manifest.deviceType, &manifest.deviceTypeCheck, &manifest.programName, &manifest.programCheck,
        &manifest.mediaName, &manifest.mediaCheck, &manifest.dataName, &manifest.dataCheck, &manifest.line9,
        &manifest.bootloaderName, &manifest.bootloaderCheck}) {
    FUZZ_REQUIRE(line->size() <= kMaxManifestLine);
    FUZZ_REQUIRE(line->find('\n') == std::string::npos);
    FUZZ_REQUIRE(line->find('\x1A') == std::string::npos);
  }
  FUZZ_REQUIRE(manifest.hasLine9 || manifest.line9.empty());
  FUZZ_REQUIRE(manifest.HasBootloaderMarker() || (manifest.bootloaderName.empty() && manifest.bootloaderCheck.empty()));
}

// A manifest field made of the fuzzer's bytes: without the two bytes no line can hold (a line
// feed, and a Ctrl-Z, which ends the file), cut to the longest line. Carriage returns and
// 0xFF stay: both must read back as written.
std::string Field(fuzz::Input& input) {
  const std::size_t length = static_cast<std::size_t>(input.Take(2));
  std::string field;
  for (std::size_t i = 0; i < length && input.Remaining() > 0; ++i) {
    const char c = static_cast<char>(input.Take(1));
    if (c != '\n' && c != 0x1A) field.push_back(c);
  }
  if (field.size() > kMaxManifestLine) field.resize(kMaxManifestLine);
  FUZZ_REQUIRE(IsWritableManifestField(field));
  return field;
}

void CheckComposed(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  ManifestContent content;
  content.withBootloader = (input.Take(1) & 1) != 0;
  content.programCrc = static_cast<std::uint32_t>(input.Take(4));
  content.mediaCrc = static_cast<std::uint32_t>(input.Take(4));
  content.dataCrc = static_cast<std::uint32_t>(input.Take(4));
  content.bootloaderCrc = static_cast<std::uint32_t>(input.Take(4));
  content.deviceType = Field(input);
  content.programName = Field(input);
  content.mediaName = Field(input);
  content.dataName = Field(input);
  content.bootloaderName = Field(input);

  const std::string composed = ComposeUpdateManifest(content);
  StringLines lines(composed);
  UpdateManifest manifest;
  FUZZ_REQUIRE(ReadUpdateManifest(lines, manifest));
  FUZZ_REQUIRE(manifest.deviceType == content.deviceType);
  FUZZ_REQUIRE(manifest.deviceTypeCheck == FormatCheckValue(DeviceTypeCheckValue(content.deviceType)));
  FUZZ_REQUIRE(manifest.programName == content.programName);
  FUZZ_REQUIRE(manifest.programCheck == std::to_string(content.programCrc));
  FUZZ_REQUIRE(manifest.mediaName == content.mediaName);
  FUZZ_REQUIRE(manifest.mediaCheck == std::to_string(content.mediaCrc));
  FUZZ_REQUIRE(manifest.dataName == content.dataName);
  FUZZ_REQUIRE(manifest.dataCheck == std::to_string(content.dataCrc));
  FUZZ_REQUIRE(manifest.HasBootloaderMarker() == content.withBootloader);
  FUZZ_REQUIRE(manifest.hasLine9 == content.withBootloader);
  if (content.withBootloader) {
    FUZZ_REQUIRE(manifest.bootloaderName == content.bootloaderName);
    FUZZ_REQUIRE(manifest.bootloaderCheck == std::to_string(content.bootloaderCrc));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckRead(std::string(reinterpret_cast<const char*>(data), size));
  CheckComposed(data, size);
  return 0;
}
