// CRC-32 of a whole file, read in 102400-byte chunks.
#pragma once

#include <cstdint>
#include <string>

#include "update/Crc32.h"

constexpr std::size_t kFileCrcChunk = 102400;

// 0 when the path does not exist, names a directory or cannot be opened.
std::uint32_t FileCrc32(const std::wstring& path, const Crc32Table& table);
