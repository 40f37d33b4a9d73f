// What the updater says of the DFU library it found, in the dialog and in the console alike.
#pragma once

namespace texts {

// A kndfu.dll of the other architecture: the technician needs the updater of the library's.
#ifdef _WIN64
constexpr wchar_t kLibraryOfOtherArchitecture[] =
    L"The DFU library kndfu.dll is a 32-bit library. Please use the 32-bit updater.";
#else
constexpr wchar_t kLibraryOfOtherArchitecture[] =
    L"The DFU library kndfu.dll is a 64-bit library. Please use the 64-bit updater.";
#endif

}  // namespace texts
