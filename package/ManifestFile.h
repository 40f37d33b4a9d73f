// Reading the manifest file "info" as the updater always has: bytes as text lines, other
// writers kept out while it is read.
#pragma once

#include <windows.h>

#include <string>

#include "package/UpdateManifest.h"

enum class ManifestFileResult { kRead, kCannotOpen, kUnreadable };

// kUnreadable: a line longer than any valid value.
ManifestFileResult ReadManifestFile(const std::wstring& path, UpdateManifest& manifest);
// The same through a file held open (UnpackedFiles), from its first byte.
ManifestFileResult ReadManifestFile(HANDLE file, UpdateManifest& manifest);
