// Paths as the system gives them.
#pragma once

#include <string>

// The user's temporary directory as the system reports it (ends in a backslash); empty when
// it cannot be had.
std::wstring SystemTempDirectory();

// A path made full against the current folder, as a file box gives it; the path as it is when
// it cannot be made full.
std::wstring FullPath(const std::wstring& path);
