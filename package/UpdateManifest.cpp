#include "package/UpdateManifest.h"

#include <vector>

namespace {
constexpr int kCtrlZ = 0x1A;
}

int ManifestLineReader::Next() {
  if (m_ended) return -1;
  const int c = NextByte();
  if (c < 0 || c == kCtrlZ) {
    m_ended = true;
    return -1;
  }
  return c;
}

bool IsWritableManifestField(const std::string& value) {
  return value.size() <= kMaxManifestLine && value.find('\n') == std::string::npos &&
         value.find(static_cast<char>(kCtrlZ)) == std::string::npos;
}

bool ManifestLineReader::ReadLine(std::string& line, bool& overlong) {
  line.clear();
  overlong = false;
  int c = Next();
  if (c < 0) return false;
  for (; c >= 0 && c != '\n'; c = Next()) {
    if (line.size() < kMaxManifestLine + 1) {
      line.push_back(static_cast<char>(c));
    } else {
      overlong = true;
    }
  }
  if (c == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxManifestLine) overlong = true;
  return true;
}

bool ReadUpdateManifest(ManifestLineReader& reader, UpdateManifest& manifest) {
  manifest = UpdateManifest();
  bool ok = true;
  const auto next = [&](std::string& value) {
    bool overlong = false;
    const bool present = reader.ReadLine(value, overlong);
    if (overlong) ok = false;
    return present;
  };
  for (std::string* line : {&manifest.deviceType, &manifest.deviceTypeCheck, &manifest.programName,
                            &manifest.programCheck, &manifest.mediaName, &manifest.mediaCheck,
                            &manifest.dataName, &manifest.dataCheck}) {
    next(*line);
  }
  manifest.hasLine9 = next(manifest.line9);
  if (manifest.HasBootloaderMarker()) {
    next(manifest.bootloaderName);
    next(manifest.bootloaderCheck);
  }
  return ok;
}

std::uint32_t DeviceTypeCheckValue(const std::string& deviceType) {
  // Each byte is a 16-bit character with a zero high byte; only the first half is covered.
  const std::size_t covered = deviceType.size();
  std::vector<unsigned char> image(covered);
  for (std::size_t i = 0; i < covered; ++i) {
    image[i] = (i % 2 == 0) ? static_cast<unsigned char>(deviceType[i / 2]) : 0;
  }
  return BufferCrc32(image.data(), image.size());
}

std::string FormatCheckValue(std::uint32_t value) { return std::to_string(value); }

std::string ComposeUpdateManifest(const ManifestContent& content) {
  std::string text;
  const auto line = [&text](const std::string& value) { text += value + "\r\n"; };
  line(content.deviceType);
  line(FormatCheckValue(DeviceTypeCheckValue(content.deviceType)));
  line(content.programName);
  line(FormatCheckValue(content.programCrc));
  line(content.mediaName);
  line(FormatCheckValue(content.mediaCrc));
  line(content.dataName);
  line(FormatCheckValue(content.dataCrc));
  if (content.withBootloader) {
    line(kBootloaderMarker);
    line(content.bootloaderName);
    line(FormatCheckValue(content.bootloaderCrc));
  }
  return text;
}
