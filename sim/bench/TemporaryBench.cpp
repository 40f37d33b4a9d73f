#include "sim/bench/TemporaryBench.h"

#include <windows.h>

#include <atomic>

namespace sim {

namespace {

std::wstring UniqueFolder() {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  std::wstring base = (length > 0 && length <= MAX_PATH) ? std::wstring(temp, length) : std::wstring(L".\\");
  return base + L"knbench-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L"-" +
         std::to_wstring(GetTickCount());
}

// The bench folder holds only files, so one level is enough.
void RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

TemporaryBench::TemporaryBench() : bench_(UniqueFolder()) { created_ = bench_.Create(); }

TemporaryBench::~TemporaryBench() { RemoveFolder(bench_.folder()); }

bool TemporaryBench::Activate() const {
  return SetEnvironmentVariableW(Bench::kEnvironmentVariable, bench_.folder().c_str()) != FALSE;
}

Instrument MakeInstrument(const std::wstring& id, const std::wstring& product, std::uint32_t model, Mode mode) {
  Instrument instrument;
  instrument.id = id;
  instrument.product = product;
  instrument.serial = id;  // unique on a bench, as a serial number is
  instrument.model = model;
  instrument.mode = mode;
  return instrument;
}

}  // namespace sim
