// Removing a folder with everything in it, read-only files included.
#pragma once

#include <string>

namespace knpack {

// directory ends in a backslash.
void RemoveTree(const std::wstring& directory);

}  // namespace knpack
