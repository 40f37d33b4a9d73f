// The files one package check unpacked into a folder, each held open from the moment it was
// written until the update ends: shared with readers only, so nobody (another program of the
// same user included) can change, replace or remove one between its check and its writing. The
// check takes what it needs to know of each file (its CRC-32 and, for a signed package, its
// SHA-256) from the pass that wrote it, and the worker reads the images through these handles:
// the bytes checked are the bytes written, hashed once.
//
// The package check hands them on with the package it passed; several updates may use one
// checked package. Whoever removes the folder lets go of them first (LetGoOfFilesIn), whichever
// package value still refers to them: a held file cannot be deleted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "signing/SigningFiles.h"
#include "signing/SigningTypes.h"

struct UnpackedFile {
  std::wstring path;  // as written: the folder and the entry's cleaned name
  HANDLE handle = INVALID_HANDLE_VALUE;  // INVALID_HANDLE_VALUE once let go
  DWORD result = 0;                      // of its extraction
  std::uint32_t crc = 0;                 // of every byte written
  bool hashed = false;                   // digest is the SHA-256 of every byte written
  signing::Sha256Digest digest = {};
};

class UnpackedFiles {
 public:
  explicit UnpackedFiles(const std::wstring& folder);
  ~UnpackedFiles();
  UnpackedFiles(const UnpackedFiles&) = delete;
  UnpackedFiles& operator=(const UnpackedFiles&) = delete;

  // Takes over file.handle.
  void Add(const UnpackedFile& file);
  // The file written at path (however spelt), or nullptr.
  const UnpackedFile* Find(const std::wstring& path) const;
  // Closes every handle; the files stay where they are.
  void LetGo();

 private:
  friend void LetGoOfFilesIn(const std::wstring& folder);

  std::wstring m_folder;  // full path, for LetGoOfFilesIn
  std::vector<UnpackedFile> m_files;
};

// Before folder (ending in a backslash) is removed: every file this process holds in it is let go.
void LetGoOfFilesIn(const std::wstring& folder);

// Reads count bytes from offset through a held handle, whatever its file pointer; false when
// fewer arrive. Several updates read one file, each from its start.
bool ReadHeldFile(HANDLE file, std::uint64_t offset, void* bytes, DWORD count);

// The whole held file when it is at most limit bytes (signing::ReadFileCapped's rules).
signing::CappedRead ReadHeldFileCapped(HANDLE file, std::size_t limit, std::string& bytes);
