// What the benchmark programs share: a clock, test data and writing it to files.
#pragma once

#include <windows.h>

#include <cstdio>
#include <random>
#include <string>

namespace benchsupport {

constexpr std::size_t kMiB = 1024 * 1024;

inline double Seconds() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline std::string Incompressible(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// Half incompressible, half a repeated text, as a media image of recorded data is.
inline std::string MediaImage(std::size_t size) {
  std::string bytes = Incompressible(size / 2, 1);
  while (bytes.size() < size) bytes.push_back(static_cast<char>("measurement log "[bytes.size() % 16]));
  return bytes;
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace benchsupport
