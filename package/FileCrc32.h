// CRC-32 of a whole file, read in 102400-byte chunks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "package/Crc32.h"

constexpr std::size_t kFileCrcChunk = 102400;

// 0 when the path does not exist, names a directory or cannot be opened. alsoRead, when given,
// sees every chunk too, so another digest of the file comes in the same read.
std::uint32_t FileCrc32(const std::wstring& path,
                        const std::function<void(const unsigned char*, std::size_t)>& alsoRead = nullptr);
