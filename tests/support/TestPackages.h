// Update packages built in a test's own folder with the package tool's library, from images
// the test chooses.
#pragma once

#include <string>

namespace testing_support {

struct PackageImages {
  std::string deviceType = "TW 3xx";
  std::string program, media, data;
  std::string bootloader;  // none when empty
};

// Writes the images into folder (ending in a backslash) and builds folder + "update.kn" from
// them; the package's path, or empty when it could not be built.
std::wstring BuildPackage(const std::wstring& folder, const PackageImages& images);

}  // namespace testing_support
