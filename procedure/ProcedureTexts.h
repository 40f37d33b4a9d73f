// The texts the update procedure shows, as the instruments' users have always seen them.
// "%s" stands for the DFU library's text for a result code, "%d" for the code. The package
// check's own texts come with them.
#pragma once

#include "package/PackageTexts.h"

namespace texts {

// Preparation.
constexpr wchar_t kNoDevice[] = L"No device is found!";
constexpr wchar_t kNotForDevice[] = L"The file is not for the selected device!";
constexpr wchar_t kCannotOpenDevice[] = L"Can not open the selected device!";
constexpr wchar_t kCheckDeviceStatus[] = L"Check device status";
constexpr wchar_t kGetDeviceInfoFailed[] = L"Get device info failed!";
constexpr wchar_t kGetDeviceStatusFailed[] = L"Get device status failed!";
constexpr wchar_t kStatusTimeOut[] = L"Wait device status time out!";
constexpr wchar_t kLoggerRunning[] = L"Logger is running, please stop it at first!";
constexpr wchar_t kCannotEnterUpdateMode[] = L"Can not enter update mode!";
constexpr wchar_t kWaitDfuDriver[] = L"Wait DFU driver ready!";
constexpr wchar_t kInstallDfuDriver[] = L"Please install the DFU driver at first!";
constexpr wchar_t kFlashParamsError[] = L"Error %s (%d) reading flash parameters.";
// An instrument of the package's type already waits in its DFU loader: the one about to be
// switched could not be told from it.
constexpr wchar_t kAnotherWaitingInDfu[] =
    L"Another instrument of this type is waiting in its DFU loader. Update it or unplug it first.";
// Another program on this workstation holds the one mark of an update under way.
constexpr wchar_t kAnotherProgramUpdating[] =
    L"Another program is updating an instrument on this workstation. Please wait until it has ended.";

// The record of an update that has ended could not be added to the history.
constexpr wchar_t kHistoryNotWritten[] = L"The update history could not be written!";

// Stages of the download, in front of " downloading!" and " verifying!".
constexpr wchar_t kStageBootloader[] = L"Bootloader file";
constexpr wchar_t kStageData[] = L"Data file";
constexpr wchar_t kStageMedia[] = L"Media file";
constexpr wchar_t kStageProgram[] = L"Program file";

// Download.
constexpr wchar_t kBootloaderBuffer[] = L"Error when bootloader file!";
constexpr wchar_t kBootloaderRead[] = L"Error when reading bootloader file!";
constexpr wchar_t kBootloaderVerify[] = L"Verify bootloader failed. Please restart the update!";
constexpr wchar_t kBootloaderError[] = L"Error %s (%d) reported during downloading bootloader!\n";
constexpr wchar_t kEraseError[] = L"Error %s (%d) reported during erasing of last sector of MCU\n";
constexpr wchar_t kDataRead[] = L"Error when reading data file!";
constexpr wchar_t kDataVerify[] = L"Verify data file failed. Please restart the update!";
constexpr wchar_t kDataError[] = L"Error %s (%d) reported during downloading data file!\n";
constexpr wchar_t kMediaRead[] = L"Error when reading media file!";
constexpr wchar_t kMediaVerify[] = L"Verify media file failed. Please restart the update!";
constexpr wchar_t kMediaError[] = L"Error %s (%d) reported during downloading media file!\n";
constexpr wchar_t kProgramRead[] = L"Error when reading program file!";
constexpr wchar_t kProgramVerify[] = L"Verify program file failed. Please restart the update!";
constexpr wchar_t kProgramError[] = L"Error %s (%d) reported during downloading program file!\n";
constexpr wchar_t kFinishingError[] = L"Error %s (%d) reported during finishing process!\n";
constexpr wchar_t kUpdatedSuccessfully[] = L"Updated successfully!";

// Refusals before anything is written: images that changed since their check or cannot be
// placed, and a worker thread the system would not start.
constexpr wchar_t kProgramDoesNotFit[] = L"The program file does not fit the flash of the device!";
constexpr wchar_t kCannotStartUpdate[] = L"Can not start the update!";
// Given to Windows as the reason why the session must not end yet, while firmware is written.
constexpr wchar_t kShutdownBlocked[] =
    L"A firmware update is being written. Do not switch off the computer or the instrument.";
// A stop asked for (a console's Ctrl+C) before the first write.
constexpr wchar_t kStopped[] = L"The update was stopped before anything was written to the device.";

}  // namespace texts
