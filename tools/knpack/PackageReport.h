// "knpack inspect": the entries of a package and its manifest, each check value compared.
#pragma once

#include <string>

namespace knpack {

// Prints the listing; false when the package cannot be opened as an archive.
bool InspectPackage(const std::wstring& packagePath);

}  // namespace knpack
