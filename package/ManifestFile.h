// Reading the manifest file "info" as the updater always has: a text file, other writers kept
// out while it is read.
#pragma once

#include <string>

#include "package/UpdateManifest.h"

enum class ManifestFileResult { kRead, kCannotOpen, kUnreadable };

// kUnreadable: a line longer than any valid value.
ManifestFileResult ReadManifestFile(const std::wstring& path, UpdateManifest& manifest);
