#include "package/ManifestFile.h"

#include <share.h>

#include <cstdio>

namespace {

class TextFileLines : public ManifestLineReader {
 public:
  explicit TextFileLines(FILE* file) : m_file(file) {}

 protected:
  int NextByte() override {
    const int c = std::fgetc(m_file);
    return c == EOF ? -1 : c;
  }

 private:
  FILE* m_file;
};

}  // namespace

ManifestFileResult ReadManifestFile(const std::wstring& path, UpdateManifest& manifest) {
  FILE* file = _wfsopen(path.c_str(), L"rb", _SH_DENYWR);
  if (file == nullptr) return ManifestFileResult::kCannotOpen;
  TextFileLines lines(file);
  const bool readable = ReadUpdateManifest(lines, manifest);
  std::fclose(file);
  return readable ? ManifestFileResult::kRead : ManifestFileResult::kUnreadable;
}
