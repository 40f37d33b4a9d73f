// Removing files, and a folder with everything in it.
#pragma once

#include <string>

// directory ends in a backslash. Read-only files go too. A link to another folder (a junction
// or symbolic link) is removed as a link: what it points to is never entered.
void RemoveTree(const std::wstring& directory);
// The same, but the folder itself stays.
void RemoveTreeContents(const std::wstring& directory);
// A file goes even when read-only; a folder or a missing name is left alone.
void RemoveFileEvenIfReadOnly(const std::wstring& path);
