// The texts the package check shows, as the instruments' users have always seen them.
#pragma once

namespace texts {

constexpr wchar_t kNoUpdateFile[] = L"Please open a update file at first!";
constexpr wchar_t kWrongUpdateFile[] = L"Wrong update file!";
constexpr wchar_t kFileCorrupted[] = L"The file is corrupted!";
constexpr wchar_t kBootloaderWarning[] =
    L"Bootloader update may make the device unusable if the updating is interrupted!\r\n"
    L"Please keep updating process uninterrupted and device powered to ensure a succesful result.";

}  // namespace texts
