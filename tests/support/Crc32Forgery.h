// The forgery a CRC-32 cannot stop: an image changed at will, then four bytes at its end set
// so that its CRC-32 is what it was. Such an image passes the manifest's check unchanged.
#pragma once

#include <string>

// data with its first byte changed and its last four bytes chosen so that the CRC-32 of the
// result equals the CRC-32 of data. data has at least 5 bytes.
std::string ForgeKeepingCrc32(const std::string& data);
