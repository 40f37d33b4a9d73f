// Removing a folder with everything in it, read-only files included.
#pragma once

#include <string>

namespace knpack {

// directory ends in a backslash.
void RemoveTree(const std::wstring& directory);

// A new empty folder of this process under the temporary directory, named after purpose,
// ending in a backslash: where a package is unpacked with nothing else beside it.
std::wstring NewScratchDirectory(const std::wstring& purpose);

}  // namespace knpack
