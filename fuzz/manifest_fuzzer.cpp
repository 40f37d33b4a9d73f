// Manifests as a package may carry them. Input: the manifest's bytes, read as the updater
// reads them; the same bytes then, split at 0xFF, become the fields of a manifest the package
// tool composes. Promises: lines never hold a line feed and never exceed the limit when the
// manifest is accepted; a composed manifest reads back the same; check values are "%u".
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "update/Crc32.h"
#include "update/UpdateManifest.h"

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

const Crc32Table& Table() {
  static const Crc32Table table = [] {
    Crc32Table built;
    BuildCrc32Table(built);
    return built;
  }();
  return table;
}

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
  }
  FUZZ_REQUIRE(manifest.hasLine9 || manifest.line9.empty());
  FUZZ_REQUIRE(manifest.HasBootloaderMarker() || (manifest.bootloaderName.empty() && manifest.bootloaderCheck.empty()));
}

// A manifest field: no line ends inside it, and it fits a line.
std::string Field(std::string text) {
  std::string field;
  for (char c : text) {
    if (c != '\n' && c != '\r') field.push_back(c);
  }
  if (field.size() > kMaxManifestLine) field.resize(kMaxManifestLine);
  return field;
}

void CheckComposed(const std::string& text) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (static_cast<unsigned char>(c) == 0xFF) {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  parts.resize(6);
  fuzz::Input numbers(reinterpret_cast<const std::uint8_t*>(parts[5].data()), parts[5].size());
  ManifestContent content;
  content.deviceType = Field(parts[0]);
  content.programName = Field(parts[1]);
  content.mediaName = Field(parts[2]);
  content.dataName = Field(parts[3]);
  content.bootloaderName = Field(parts[4]);
  content.programCrc = static_cast<std::uint32_t>(numbers.Take(4));
  content.mediaCrc = static_cast<std::uint32_t>(numbers.Take(4));
  content.dataCrc = static_cast<std::uint32_t>(numbers.Take(4));
  content.bootloaderCrc = static_cast<std::uint32_t>(numbers.Take(4));
  content.withBootloader = (numbers.Take(1) & 1) != 0;

  const std::string composed = ComposeUpdateManifest(Table(), content);
  StringLines lines(composed);
  UpdateManifest manifest;
  FUZZ_REQUIRE(ReadUpdateManifest(lines, manifest));
  FUZZ_REQUIRE(manifest.deviceType == content.deviceType);
  FUZZ_REQUIRE(manifest.deviceTypeCheck == FormatCheckValue(DeviceTypeCheckValue(Table(), content.deviceType)));
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
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckRead(text);
  CheckComposed(text);
  return 0;
}
