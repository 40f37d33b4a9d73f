// What the tests of the update's own folder look at and leave in the temporary directory: the
// folders' name, a folder's contents, and folders as an update or an abnormal end leaves them.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The name every update's folder begins with.
constexpr wchar_t kUpdateFolderPrefix[] = L"QM_TWBootloader-update-";

// The names in a folder (ending in a backslash), "." and ".." left out, directories with a
// trailing backslash, sorted.
std::vector<std::wstring> FolderListing(const std::wstring& folder);

// What an update may leave in its folder: a read-only file, a subfolder with a file.
bool FillAsAnUpdate(const std::wstring& folder);

// The folder last changed an hour ago, as one an abnormal end left behind long before.
bool MakeOld(const std::wstring& folder);

}  // namespace testing_support
