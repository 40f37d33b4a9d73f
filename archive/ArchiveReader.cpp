#include "archive/ArchiveReader.h"

#include <unzip.h>
#include <iowin32.h>  // after unzip.h: it needs zlib's macros

#include <zlib.h>

#include <cstring>
#include <cwchar>

#include "archive/EntryMetadata.h"
#include "archive/EntryName.h"
#include "platform/FileTree.h"

namespace archive {
namespace {

constexpr std::size_t kMaxStoredName = 260;     // bytes of a stored name the entry can hold
constexpr std::uint64_t kMinCentralRecord = 46;  // smallest central directory record
constexpr unsigned long kMethodStored = 0;
constexpr unsigned long kMethodDeflated = 8;

unzFile AsUnz(void* handle) { return static_cast<unzFile>(handle); }

bool EndsWithSeparator(const std::wstring& path) { return !path.empty() && IsPathSeparator(path.back()); }

std::wstring WithTrailingSeparator(std::wstring path) {
  if (!EndsWithSeparator(path)) path += L'\\';
  return path;
}

FILETIME ToFileTime(std::uint64_t value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

// DOS times carry no zone: they are the local time of the machine that made the entry.
FILETIME DosTimeToUtc(std::uint32_t dosDateTime) {
  const DosDateTime fields = DecodeDosDateTime(dosDateTime);
  SYSTEMTIME local = {};
  local.wYear = static_cast<WORD>(fields.year);
  local.wMonth = static_cast<WORD>(fields.month);
  local.wDay = static_cast<WORD>(fields.day);
  local.wHour = static_cast<WORD>(fields.hour);
  local.wMinute = static_cast<WORD>(fields.minute);
  local.wSecond = static_cast<WORD>(fields.second);
  FILETIME localTime = {}, utc = {};
  if (!SystemTimeToFileTime(&local, &localTime) || !LocalFileTimeToFileTime(&localTime, &utc)) return FILETIME{};
  return utc;
}

// The stored name as UTF-16, or false when it cannot be held whole.
bool ConvertStoredName(const char* stored, std::size_t length, wchar_t (&name)[260]) {
  name[0] = 0;
  if (length == 0) return true;
  const int units = MultiByteToWideChar(CP_UTF8, 0, stored, static_cast<int>(length), name, 259);
  if (units <= 0) return false;
  name[units] = 0;
  return true;
}

LONGLONG FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

ArchiveReader::~ArchiveReader() { Close(); }

DWORD ArchiveReader::Open(const std::wstring& path) {
  Close();
  wchar_t current[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
  m_root = WithTrailingSeparator(length > 0 && length < MAX_PATH ? std::wstring(current, length) : std::wstring());

  zlib_filefunc64_def files;
  fill_win32_filefunc64W(&files);
  unzFile archive = unzOpen2_64(path.c_str(), &files);
  if (archive == nullptr) return kArchiveNoFile;

  // Every entry needs a central record of its own; a count the file cannot hold is a lie
  // that would only make the caller walk a broken directory for a long time.
  unz_global_info64 info = {};
  const LONGLONG size = FileSize(path);
  if (unzGetGlobalInfo64(archive, &info) != UNZ_OK || size < 0 ||
      info.number_entry > static_cast<std::uint64_t>(size) / kMinCentralRecord || info.number_entry > 0x7FFFFFFF) {
    unzClose(archive);
    return kArchiveNoFile;
  }
  m_archive = archive;
  m_entryCount = static_cast<int>(info.number_entry);
  m_position = 0;
  m_unreadableFrom = -1;
  m_cachedIndex = -1;
  return kArchiveOk;
}

DWORD ArchiveReader::SetRootDirectory(const std::wstring& directory) {
  m_root = WithTrailingSeparator(directory);
  return kArchiveOk;
}

DWORD ArchiveReader::Close() {
  if (m_archive != nullptr) unzClose(AsUnz(m_archive));
  m_archive = nullptr;
  m_entryCount = 0;
  m_cachedIndex = -1;
  m_buffer.clear();
  m_buffer.shrink_to_fit();
  return kArchiveOk;
}

DWORD ArchiveReader::PositionOn(int index) {
  if (m_unreadableFrom >= 0 && index >= m_unreadableFrom) return kArchiveCorrupt;
  unzFile archive = AsUnz(m_archive);
  if (index < m_position) {
    if (unzGoToFirstFile(archive) != UNZ_OK) {
      m_unreadableFrom = 0;
      return kArchiveCorrupt;
    }
    m_position = 0;
  }
  while (m_position < index) {
    if (unzGoToNextFile(archive) != UNZ_OK) {
      // minizip now stands nowhere; the next call starts again from the first entry.
      m_unreadableFrom = m_position + 1;
      m_position = m_entryCount;
      return kArchiveCorrupt;
    }
    ++m_position;
  }
  return kArchiveOk;
}

DWORD ArchiveReader::GetEntry(int index, ArchiveEntry& entry) {
  if (m_archive == nullptr || index < -1 || index >= m_entryCount) return kArchiveArgs;
  if (index >= 0 && index == m_cachedIndex) {
    entry = m_cached;
    return kArchiveOk;
  }
  if (index == -1) {
    entry = ArchiveEntry();
    entry.index = m_entryCount;
    return kArchiveOk;
  }
  const DWORD result = ReadEntry(index, entry);
  if (result != kArchiveOk) return result;
  m_cached = entry;
  m_cachedIndex = index;
  return kArchiveOk;
}

DWORD ArchiveReader::ReadEntry(int index, ArchiveEntry& entry) {
  entry = ArchiveEntry();
  DWORD result = PositionOn(index);
  if (result != kArchiveOk) return result;

  unzFile archive = AsUnz(m_archive);
  unz_file_info64 info = {};
  char storedName[kMaxStoredName + 1] = {};
  if (unzGetCurrentFileInfo64(archive, &info, storedName, sizeof storedName, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return kArchiveCorrupt;
  }
  // Only stored and deflated data can be unpacked here; minizip would hand out the raw bytes
  // of other methods (bzip2, say) as if they were the file.
  if (info.compression_method != kMethodStored && info.compression_method != kMethodDeflated) return kArchiveCorrupt;

  // Opening the entry raw runs minizip's local header check and finds the local extra field.
  if (unzOpenCurrentFile2(archive, nullptr, nullptr, 1) != UNZ_OK) return kArchiveCorrupt;
  const int extraSize = unzGetLocalExtrafield(archive, nullptr, 0);
  std::vector<std::uint8_t> extra(extraSize > 0 ? static_cast<std::size_t>(extraSize) : 0);
  const int extraRead = extra.empty() ? 0 : unzGetLocalExtrafield(archive, extra.data(), static_cast<unsigned>(extra.size()));
  unzCloseCurrentFile(archive);
  if (extraRead != static_cast<int>(extra.size())) return kArchiveRead;

  // A name that cannot be held whole is refused, never cut into another path.
  if (info.size_filename > kMaxStoredName || std::memchr(storedName, 0, info.size_filename) != nullptr ||
      !ConvertStoredName(storedName, info.size_filename, entry.name)) {
    entry.name[0] = 0;
    return kArchiveNoFile;
  }
  const std::wstring cleaned = CleanEntryName(entry.name);
  std::wmemset(entry.name, 0, 260);
  cleaned.copy(entry.name, 259);

  entry.index = index;
  entry.attributes = MapEntryAttributes(static_cast<std::uint16_t>(info.version), static_cast<std::uint32_t>(info.external_fa));
  entry.compressedSize = info.compressed_size;
  entry.uncompressedSize = info.uncompressed_size;

  const FILETIME dosTime = DosTimeToUtc(static_cast<std::uint32_t>(info.dosDate));
  entry.accessTime = entry.creationTime = entry.writeTime = dosTime;
  const ExtendedTimes extended = ParseExtendedTimestamps(extra.data(), extra.size());
  if (extended.hasWrite) entry.writeTime = ToFileTime(UnixTimeToFileTime(extended.write));
  if (extended.hasAccess) entry.accessTime = ToFileTime(UnixTimeToFileTime(extended.access));
  if (extended.hasCreation) entry.creationTime = ToFileTime(UnixTimeToFileTime(extended.creation));

  m_cachedEncrypted = (info.flag & 1) != 0;
  m_cachedStored = info.compression_method == 0;
  return kArchiveOk;
}

DWORD ArchiveReader::ExtractEntry(int index, const std::wstring& name) {
  return ExtractEntry(index, name, nullptr, nullptr);
}

DWORD ArchiveReader::ExtractEntry(int index, const std::wstring& name, const DataObserver& observe, HANDLE* held) {
  m_createdFile = false;
  if (held != nullptr) *held = INVALID_HANDLE_VALUE;
  if (m_archive == nullptr || index < 0 || index >= m_entryCount) return kArchiveArgs;
  ArchiveEntry entry;
  DWORD result = GetEntry(index, entry);
  if (result != kArchiveOk) return result;
  result = PositionOn(index);
  if (result != kArchiveOk) return result;

  if (!IsSafeRelativeName(name) || m_root.size() + name.size() + 1 > kMaxPathUnits) return kArchiveNoFile;

  if (entry.attributes & kAttrDirectory) {
    EnsureDirectory(m_root.c_str(), name);
    return kArchiveOk;
  }

  std::size_t split = name.size();
  while (split > 0 && !IsPathSeparator(name[split - 1])) --split;
  const std::wstring directoryPart = name.substr(0, split);
  if (split == name.size()) return kArchiveNoFile;  // no file part to create
  EnsureDirectory(m_root.c_str(), directoryPart);

  const std::wstring target = m_root + name;
  // A file an earlier extraction left at the target goes first, even a read-only one, so the
  // entry never fails on it and a stale file is never mistaken for the entry's data.
  RemoveFileEvenIfReadOnly(target);
  const DWORD fileAttributes = entry.attributes & ~static_cast<DWORD>(kAttrDirectory);
  // A file kept for the caller is read through this very handle later, and shared with readers
  // only from its first byte on.
  HANDLE file = CreateFileW(target.c_str(), held != nullptr ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE,
                            held != nullptr ? FILE_SHARE_READ : 0, nullptr, CREATE_ALWAYS,
                            fileAttributes != 0 ? fileAttributes : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kArchiveNoFile;
  m_createdFile = true;

  result = m_cachedEncrypted ? kArchivePassword : WriteEntryData(file, entry, observe);
  if (held != nullptr) {
    *held = file;
  } else {
    CloseHandle(file);
  }
  return result;
}

namespace {

bool WriteChunk(HANDLE file, const unsigned char* bytes, std::size_t count,
                const ArchiveReader::DataObserver& observe) {
  DWORD written = 0;
  if (!WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) || written != count) return false;
  if (observe) observe(bytes, count);
  return true;
}

}  // namespace

DWORD ArchiveReader::WriteEntryData(HANDLE file, const ArchiveEntry& entry, const DataObserver& observe) {
  unzFile archive = AsUnz(m_archive);
  if (m_buffer.empty()) m_buffer.resize(kDataBufferSize);
  // The data is read as stored and inflated here: minizip would stop quietly at the declared
  // size, and an entry that holds more than it declares is not the entry it claims to be.
  if (unzOpenCurrentFile2(archive, nullptr, nullptr, 1) != UNZ_OK) return kArchiveFlate;
  const DWORD result = m_cachedStored ? WriteStored(file, entry, observe) : WriteInflated(file, entry, observe);
  unzCloseCurrentFile(archive);  // its CRC verdict is not ours to use: the manifest checks the images
  if (result == kArchiveOk) SetFileTime(file, &entry.creationTime, &entry.accessTime, &entry.writeTime);
  return result;
}

DWORD ArchiveReader::WriteStored(HANDLE file, const ArchiveEntry& entry, const DataObserver& observe) {
  std::uint64_t delivered = 0;
  for (;;) {
    const int read = unzReadCurrentFile(AsUnz(m_archive), m_buffer.data(), static_cast<unsigned>(m_buffer.size()));
    if (read < 0) return kArchiveFlate;
    // Stored data has no end of its own: it must be exactly the declared size.
    if (read == 0) return delivered == entry.uncompressedSize ? kArchiveOk : kArchiveFlate;
    delivered += static_cast<std::uint64_t>(read);
    if (delivered > entry.uncompressedSize) return kArchiveFlate;
    if (!WriteChunk(file, m_buffer.data(), static_cast<std::size_t>(read), observe)) return kArchiveWrite;
  }
}

DWORD ArchiveReader::WriteInflated(HANDLE file, const ArchiveEntry& entry, const DataObserver& observe) {
  if (m_output.empty()) m_output.resize(kOutputBufferSize);
  z_stream stream = {};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return kArchiveFlate;  // raw deflate, no header
  DWORD result = kArchiveOk;
  std::uint64_t delivered = 0;
  int status = Z_OK;
  bool needInput = true;  // false while inflate stopped for room rather than for input
  while (result == kArchiveOk && status != Z_STREAM_END) {
    if (stream.avail_in == 0 && needInput) {
      const int read = unzReadCurrentFile(AsUnz(m_archive), m_buffer.data(), static_cast<unsigned>(m_buffer.size()));
      if (read <= 0) {  // unreadable, or the stored data ended before the stream did
        result = kArchiveFlate;
        break;
      }
      stream.next_in = m_buffer.data();
      stream.avail_in = static_cast<uInt>(read);
    }
    if (stream.avail_out == 0 || stream.next_out == nullptr) {
      stream.next_out = m_output.data();
      stream.avail_out = static_cast<uInt>(m_output.size());
    }
    status = inflate(&stream, Z_NO_FLUSH);
    if (status == Z_BUF_ERROR && stream.avail_in == 0) status = Z_OK;  // it only wants more input
    if (status != Z_OK && status != Z_STREAM_END) {
      result = kArchiveFlate;
      break;
    }
    needInput = stream.avail_out != 0;
    // Written once the buffer is full or the stream has ended.
    if (stream.avail_out != 0 && status != Z_STREAM_END) continue;
    const std::size_t produced = m_output.size() - stream.avail_out;
    delivered += produced;
    if (delivered > entry.uncompressedSize) {
      result = kArchiveFlate;  // nothing past the declared size is written
    } else if (produced > 0 && !WriteChunk(file, m_output.data(), produced, observe)) {
      result = kArchiveWrite;
    }
    stream.avail_out = 0;  // start the buffer afresh
  }
  inflateEnd(&stream);
  return result;
}

void EnsureDirectory(const wchar_t* root, const std::wstring& path) {
  if (root != nullptr && GetFileAttributesW(root) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(root, nullptr);
  if (path.empty()) return;
  const std::size_t last = path.find_last_of(L"/\\");
  if (last != std::wstring::npos && last != 0) EnsureDirectory(root, path.substr(0, last));
  const std::wstring full = root != nullptr ? std::wstring(root) + path : path;
  if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(full.c_str(), nullptr);
}

}  // namespace archive
