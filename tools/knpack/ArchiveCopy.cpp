#include "tools/knpack/ArchiveCopy.h"

#include <windows.h>

#include <unzip.h>
#include <zip.h>
#include <iowin32.h>  // after zip.h: it needs zlib's macros

#include <vector>

#include "archive/ArchiveReader.h"
#include "text/WidenBytes.h"

namespace knpack {
namespace {

constexpr uLong kUtf8NameFlag = 0x800;
constexpr uLong kEncryptedFlag = 0x1;
constexpr unsigned kZip64ExtraId = 0x0001;
constexpr std::size_t kCopyChunk = 1 << 16;

// The writer adds its own ZIP64 block where one is needed; a copied one would stand twice.
std::string WithoutZip64Block(const std::string& extra) {
  std::string kept;
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const unsigned id = static_cast<unsigned char>(extra[at]) | static_cast<unsigned char>(extra[at + 1]) << 8;
    const std::size_t size = static_cast<unsigned char>(extra[at + 2]) | static_cast<unsigned char>(extra[at + 3]) << 8;
    const std::size_t end = at + 4 + size > extra.size() ? extra.size() : at + 4 + size;
    if (id != kZip64ExtraId) kept.append(extra, at, end - at);
    at = end;
  }
  return kept;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// One open source archive and one archive being written, closed with their owner.
class ArchivePair {
 public:
  ArchivePair(const std::wstring& source, const std::wstring& target) {
    zlib_filefunc64_def files;
    fill_win32_filefunc64W(&files);
    m_in = unzOpen2_64(source.c_str(), &files);
    if (m_in != nullptr) m_out = zipOpen2_64(target.c_str(), APPEND_STATUS_CREATE, nullptr, &files);
  }
  ~ArchivePair() {
    if (m_out != nullptr) zipClose(m_out, nullptr);
    if (m_in != nullptr) unzClose(m_in);
  }
  ArchivePair(const ArchivePair&) = delete;
  ArchivePair& operator=(const ArchivePair&) = delete;

  unzFile In() const { return m_in; }
  zipFile Out() const { return m_out; }

  // Ends the written archive with the source's comment.
  bool Finish() {
    unz_global_info64 global;
    std::string comment;
    if (unzGetGlobalInfo64(m_in, &global) == UNZ_OK && global.size_comment > 0) {
      comment.resize(global.size_comment + 1);
      const int read = unzGetGlobalComment(m_in, &comment[0], static_cast<uLong>(comment.size()));
      comment.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
    }
    const int closed = zipClose(m_out, comment.empty() ? nullptr : comment.c_str());
    m_out = nullptr;
    return closed == ZIP_OK;
  }

 private:
  unzFile m_in = nullptr;
  zipFile m_out = nullptr;
};

// Copies the entry the source stands on, raw. error names it on failure.
bool CopyCurrentEntry(unzFile in, zipFile out, std::wstring& error) {
  unz_file_info64 info;
  if (unzGetCurrentFileInfo64(in, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    error = L"an entry's central record cannot be read";
    return false;
  }
  std::string name(info.size_filename + 1, '\0'), central(info.size_file_extra, '\0'),
      comment(info.size_file_comment + 1, '\0');
  if (unzGetCurrentFileInfo64(in, &info, &name[0], static_cast<uLong>(name.size()), central.empty() ? nullptr : &central[0],
                              static_cast<uLong>(central.size()), &comment[0], static_cast<uLong>(comment.size())) != UNZ_OK) {
    error = L"an entry's central record cannot be read";
    return false;
  }
  name.resize(info.size_filename);
  comment.resize(info.size_file_comment);
  const std::wstring shown = WidenBytes(name);
  if (info.flag & kEncryptedFlag) {
    error = L"the entry " + shown + L" is encrypted, which the updater refuses";
    return false;
  }
  int method = 0, level = 0;
  if (unzOpenCurrentFile2(in, &method, &level, 1) != UNZ_OK) {
    error = L"the entry " + shown + L" cannot be opened";
    return false;
  }
  std::string local;
  const int localSize = unzGetLocalExtrafield(in, nullptr, 0);
  if (localSize > 0) {
    local.resize(static_cast<std::size_t>(localSize));
    if (unzGetLocalExtrafield(in, &local[0], static_cast<unsigned>(localSize)) != localSize) local.clear();
  }
  local = WithoutZip64Block(local);
  central = WithoutZip64Block(central);

  zip_fileinfo fileInfo = {};
  fileInfo.dosDate = info.dosDate;
  fileInfo.internal_fa = info.internal_fa;
  fileInfo.external_fa = info.external_fa;
  const int zip64 = info.compressed_size >= 0xFFFFFFFFu || info.uncompressed_size >= 0xFFFFFFFFu;
  bool ok = zipOpenNewFileInZip4_64(out, name.c_str(), &fileInfo, local.data(), static_cast<uInt>(local.size()),
                                    central.data(), static_cast<uInt>(central.size()),
                                    comment.empty() ? nullptr : comment.c_str(), method, level, 1, -MAX_WBITS,
                                    DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, info.version,
                                    info.flag & kUtf8NameFlag, zip64) == ZIP_OK;
  std::vector<char> chunk(kCopyChunk);
  int read = 0;
  while (ok && (read = unzReadCurrentFile(in, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0) {
    ok = zipWriteInFileInZip(out, chunk.data(), static_cast<unsigned>(read)) == ZIP_OK;
  }
  ok = ok && read == 0;
  ok = zipCloseFileInZipRaw64(out, info.uncompressed_size, info.crc) == ZIP_OK && ok;
  unzCloseCurrentFile(in);
  if (!ok) error = L"the entry " + shown + L" cannot be copied";
  return ok;
}

bool AddEntry(zipFile out, const std::wstring& name, const std::string& data) {
  const std::string stored(name.begin(), name.end());  // the names added are ASCII
  SYSTEMTIME now;
  GetLocalTime(&now);
  zip_fileinfo fileInfo = {};
  WORD date = 0, time = 0;
  FILETIME local;
  if (SystemTimeToFileTime(&now, &local) && FileTimeToDosDateTime(&local, &date, &time)) {
    fileInfo.dosDate = static_cast<uLong>(date) << 16 | time;
  }
  fileInfo.external_fa = FILE_ATTRIBUTE_ARCHIVE;
  if (zipOpenNewFileInZip64(out, stored.c_str(), &fileInfo, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION, 0) != ZIP_OK) {
    return false;
  }
  const bool ok = zipWriteInFileInZip(out, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK;
  return zipCloseFileInZip(out) == ZIP_OK && ok;
}

bool CopyEntries(const std::wstring& source, const std::wstring& target, const std::wstring& addedName,
                 const std::string& data, std::wstring& error) {
  // The names as the updater unpacks them, to leave out every entry that lands on addedName.
  archive::ArchiveReader reader;
  archive::ArchiveEntry summary;
  if (reader.Open(source) != archive::kArchiveOk || reader.GetEntry(-1, summary) != archive::kArchiveOk) {
    error = L"cannot open " + source + L" as a ZIP archive";
    return false;
  }
  ArchivePair archives(source, target);
  if (archives.In() == nullptr || archives.Out() == nullptr) {
    error = archives.In() == nullptr ? L"cannot open " + source + L" as a ZIP archive" : L"cannot create " + target;
    return false;
  }
  int index = 0;
  for (int step = unzGoToFirstFile(archives.In()); step == UNZ_OK; step = unzGoToNextFile(archives.In()), ++index) {
    archive::ArchiveEntry entry;
    if (reader.GetEntry(index, entry) != archive::kArchiveOk) {
      error = L"entry " + std::to_wstring(index) + L" of " + source + L" cannot be read";
      return false;
    }
    if (SameName(entry.name, addedName)) continue;
    if (!CopyCurrentEntry(archives.In(), archives.Out(), error)) {
      error = source + L": " + error;
      return false;
    }
  }
  if (index != summary.index) {
    error = source + L": " + std::to_wstring(summary.index) + L" entries listed, " + std::to_wstring(index) + L" found";
    return false;
  }
  if (!AddEntry(archives.Out(), addedName, data) || !archives.Finish()) {
    error = L"cannot write " + target;
    return false;
  }
  return true;
}

}  // namespace

bool CopyArchiveAddingEntry(const std::wstring& source, const std::wstring& target, const std::wstring& addedName,
                            const std::string& data, std::wstring& error) {
  const std::wstring written = target + L".knpack-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  const bool copied = CopyEntries(source, written, addedName, data, error);
  if (copied && MoveFileExW(written.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  if (copied) error = L"cannot replace " + target + L" (error " + std::to_wstring(GetLastError()) + L")";
  DeleteFileW(written.c_str());
  return false;
}

}  // namespace knpack
