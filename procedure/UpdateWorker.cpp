#include "procedure/UpdateWorker.h"

#include <string>

#include "dfu/DfuLibrary.h"
#include "procedure/ErrorText.h"
#include "procedure/FirmwareImages.h"
#include "procedure/ProcedureTexts.h"
#include "text/WidenBytes.h"

namespace {

constexpr int kVerify = 1;
constexpr DWORD kAfterSuccessPauseMs = 100;

// Empty for a successful call. A verification failure has its own text where the step has
// one; every other code is reported with the library's text for it.
std::wstring WriteFailure(int rc, const wchar_t* verifyText, const wchar_t* errorFormat) {
  if (rc == 0) return std::wstring();
  if (rc == kDfuVerifyFailed && verifyText != nullptr) return verifyText;
  return FormatLibraryError(errorFormat, WidenBytes(DfuErrorString(rc)), rc);
}

std::wstring WriteFirmware(UpdateHost& host, const UpdateSession& session, const FirmwareImages& images) {
  const DfuHandle device = session.DfuDevice();
  const HWND window = host.NotificationWindow();
  const ProgramPlacement& program = images.placement;
  std::wstring failure;

  if (session.Package().withBootloader) {
    host.SetStage(texts::kStageBootloader);
    failure = WriteFailure(
        DfuDownloadBin(device, images.bootloader.bytes(), images.bootloader.length(), 0, kVerify, window),
        texts::kBootloaderVerify, texts::kBootloaderError);
    if (!failure.empty()) return failure;
  }

  failure = WriteFailure(DfuErase(device, program.lastSectorAddress, program.sectorSize, kVerify, nullptr), nullptr,
                         texts::kEraseError);
  if (!failure.empty()) return failure;

  host.SetStage(texts::kStageData);
  if (images.data.length() != 0) {
    failure = WriteFailure(DfuWriteEEP(device, images.data.bytes(), images.data.length(), 0, kVerify, window),
                           texts::kDataVerify, texts::kDataError);
    if (!failure.empty()) return failure;
  }

  host.SetStage(texts::kStageMedia);
  if (images.media.length() != 0) {
    failure = WriteFailure(DfuWriteNand(device, images.media.bytes(), images.media.length(), 0, kVerify, window),
                           texts::kMediaVerify, texts::kMediaError);
    if (!failure.empty()) return failure;
  }

  host.SetStage(texts::kStageProgram);
  const std::uint8_t* image = images.program.bytes();
  failure = WriteFailure(DfuDownloadBin(device, image, program.bodyLength, program.bodyAddress, kVerify, window),
                         texts::kProgramVerify, texts::kProgramError);
  if (!failure.empty()) return failure;

  return WriteFailure(DfuDownloadBin(device, image + program.bodyLength, program.sectorSize,
                                     program.lastSectorAddress, kVerify, nullptr),
                      nullptr, texts::kFinishingError);
}

// The images live only as long as the writing: the endings wait for the user.
std::wstring ReadAndWriteFirmware(UpdateHost& host, const UpdateSession& session) {
  FirmwareImages images;
  const std::wstring refusal = LoadFirmwareImages(session, images);
  if (!refusal.empty()) return refusal;
  if (!host.BeginWriting()) return texts::kStopped;
  return WriteFirmware(host, session, images);
}

void EndWithSuccess(UpdateHost& host, UpdateSession& session) {
  session.ReleasePackageFolder();  // the images were read before the first write
  session.CloseDfuDevice(true);
  const bool recorded = host.RecordUpdate(session.FinishedRecord(texts::kUpdatedSuccessfully), UpdateOutcome::kSucceeded);
  host.ShowMessage(texts::kUpdatedSuccessfully);
  if (!recorded) host.ShowMessage(texts::kHistoryNotWritten);
  host.Pause(kAfterSuccessPauseMs);
  host.RefreshDeviceList();
  host.EnableInputs(true);
  host.SetRefreshTimer(true);
  host.SetUpdateRunning(false);
  session.ReleaseUpdateMark();  // after the final message: meanwhile the instrument restarts
}

void EndWithFailure(UpdateHost& host, UpdateSession& session, const std::wstring& text) {
  session.ReleasePackageFolder();
  const bool recorded = host.RecordUpdate(session.FinishedRecord(text), UpdateOutcome::kFailed);
  host.ShowMessage(text);
  if (!recorded) host.ShowMessage(texts::kHistoryNotWritten);
  session.CloseDfuDevice(false);
  host.SetRefreshTimer(true);
  host.EnableInputs(true);
  host.SetUpdateRunning(false);
  session.ReleaseUpdateMark();
}

}  // namespace

void HandOver(UpdateHost& host, UpdateSession& session) {
  host.SetUpdateRunning(true);
  host.EnableInputs(false);
  host.SetRefreshTimer(false);
  if (!host.StartWorker()) EndWithFailure(host, session, texts::kCannotStartUpdate);
}

DWORD UpdateWorker(UpdateHost& host, UpdateSession& session) {
  const std::wstring failure = ReadAndWriteFirmware(host, session);
  if (failure.empty()) {
    EndWithSuccess(host, session);
    return 0;
  }
  EndWithFailure(host, session, failure);
  return 1;
}
