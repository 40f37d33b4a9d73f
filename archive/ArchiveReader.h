// ArchiveReader: unpacks a ZIP archive (an update package) into a root directory with UTF-16
// paths, on top of minizip. It describes entries with cleaned names, Windows attributes and
// file times, creates directories and writes the files. Nothing written leaves the root: a
// name that would (absolute, "..", drive, device name, too long) is refused.
//
// Used on one thread at a time; a reader is not shared.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace archive {

// Result codes of the reader's calls.
enum ArchiveResult : DWORD {
  kArchiveOk = 0,
  kArchiveNoFile = 0x200,     // archive not readable as ZIP; output file not created; name refused
  kArchiveWrite = 0x400,      // writing the output file failed
  kArchiveCorrupt = 0x700,    // local header disagrees with the central record; record unreadable;
                              // a compression method other than stored and deflated
  kArchiveRead = 0x800,       // local extra field unreadable
  kArchivePassword = 0x1000,  // encrypted entry (no password is ever supplied)
  kArchiveArgs = 0x10000,     // bad index, or no archive open
  kArchiveFlate = 0x5000000,  // entry data unreadable or not inflatable
};

struct ArchiveEntry {
  int index = 0;
  wchar_t name[260] = {};
  DWORD attributes = 0;
  FILETIME accessTime = {}, creationTime = {}, writeTime = {};
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;  // declared; the data may never give more
};

class ArchiveReader {
 public:
  static constexpr std::size_t kDataBufferSize = 16384;
  // Inflated data is written (and summed by the caller) in larger pieces: each write and each
  // digest update has a cost of its own, and a 64 MiB image would take thousands of them.
  static constexpr std::size_t kOutputBufferSize = 256 * 1024;

  ArchiveReader() = default;
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // Opens the archive; on failure the reader stays closed and every later call gives kArchiveArgs.
  DWORD Open(const std::wstring& path);
  bool IsOpen() const { return m_archive != nullptr; }
  DWORD SetRootDirectory(const std::wstring& directory);
  // index -1 describes the archive: index = number of entries, everything else empty.
  DWORD GetEntry(int index, ArchiveEntry& entry);
  DWORD ExtractEntry(int index, const std::wstring& name);
  // Sees every byte written, in order, so a caller sums an entry in the pass that writes it.
  using DataObserver = std::function<void(const unsigned char* bytes, std::size_t count)>;
  // The same; observe (when given) sees the data, and a created output file is left open in
  // *held (when given), whatever the result: shared with readers only, so nobody can change
  // or remove it until the caller closes it. INVALID_HANDLE_VALUE when none was created.
  DWORD ExtractEntry(int index, const std::wstring& name, const DataObserver& observe, HANDLE* held);
  // Whether the last ExtractEntry created its output file under the root (whatever its result):
  // what a caller may later remove as its own.
  bool CreatedFile() const { return m_createdFile; }
  DWORD Close();

 private:
  DWORD PositionOn(int index);
  DWORD ReadEntry(int index, ArchiveEntry& entry);
  DWORD WriteEntryData(HANDLE file, const ArchiveEntry& entry, const DataObserver& observe);
  DWORD WriteStored(HANDLE file, const ArchiveEntry& entry, const DataObserver& observe);
  DWORD WriteInflated(HANDLE file, const ArchiveEntry& entry, const DataObserver& observe);

  void* m_archive = nullptr;  // minizip handle
  int m_entryCount = 0;
  int m_position = 0;        // entry minizip stands on
  int m_unreadableFrom = -1;  // first entry whose central record could not be read, or -1
  ArchiveEntry m_cached;
  int m_cachedIndex = -1;
  bool m_cachedEncrypted = false;
  bool m_cachedStored = false;  // no compression: the data must deliver every declared byte
  bool m_createdFile = false;
  std::vector<unsigned char> m_buffer;  // the entry's data as stored
  std::vector<unsigned char> m_output;  // and inflated
  std::wstring m_root;
};

// Creates root (one level) when it is missing, then path below it, parents first. Failures are
// not reported: they show when a file in the directory cannot be created.
void EnsureDirectory(const wchar_t* root, const std::wstring& path);

}  // namespace archive
