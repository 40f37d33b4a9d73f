// Small files of the signing: read whole but never beyond a bound, and text between UTF-8
// (the files) and UTF-16 (the program).
#pragma once

#include <cstddef>
#include <string>

namespace signing {

enum class CappedRead {
  kRead,
  kMissing,     // no such file (or folder on the way)
  kTooLarge,    // more than the bound
  kUnreadable,  // a folder, locked, or a read error
};

// Reads at most limit bytes; other writers kept out while it is read.
CappedRead ReadFileCapped(const std::wstring& path, std::size_t limit, std::string& bytes);

}  // namespace signing
