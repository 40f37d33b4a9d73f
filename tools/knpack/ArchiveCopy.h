// Rewriting a package with one entry added: every other entry is copied as stored (its
// compressed bytes, CRC-32, name, times, attributes, extra fields and comment), so what the
// updater unpacks from them stays byte for byte what it was.
#pragma once

#include <string>

namespace knpack {

// Writes target as source's entries, less those the updater unpacks under addedName (any
// case, any stored spelling), plus addedName holding data. target may be source: the new
// archive is written beside target and then moved over it, so a failure leaves target as it
// was. error says what failed.
bool CopyArchiveAddingEntry(const std::wstring& source, const std::wstring& target, const std::wstring& addedName,
                            const std::string& data, std::wstring& error);

}  // namespace knpack
