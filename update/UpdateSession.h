// What passes from one stage of an update to the next. The package check and the preparation
// write it on the dialog's thread before the worker starts; the worker only reads it, and
// nothing else changes it while the worker runs. The dialog holds it as its own members.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "dfu/DfuApi.h"
#include "signing/SigningTypes.h"
#include "update/HistoryRecord.h"
#include "update/UpdateFolder.h"

// The images' CRC-32 as the package check found them equal to the manifest's values.
struct ImageCheckValues {
  std::uint32_t program = 0, media = 0, data = 0, bootloader = 0;
};

// The images' SHA-256 as a trusted maker signed them; only when the package's signature was
// checked and accepted (with no trusted key nothing is signed, and nothing compared).
struct SignedImages {
  bool accepted = false;
  std::wstring signer;  // the name trusted-keys.txt gives the key
  signing::Sha256Digest program = {}, media = {}, data = {}, bootloader = {};
};

struct UpdateSession {
  // Where this update's package is unpacked: made by "Download" on the dialog's thread, removed
  // by whichever thread ends the update (the dialog's before the hand-over, the worker's after).
  UpdateFolder m_packageFolder;
  std::wstring m_strProgramFile;
  std::wstring m_strMediaFile;
  std::wstring m_strDataFile;
  std::wstring m_strBootloaderFile;
  BOOL m_bWithBootloader = FALSE;
  ImageCheckValues m_imageChecks;
  SignedImages m_signedImages;
  DfuHandle m_hDfuDevice = 0;  // open from the end of the preparation until the worker ends
  DfuFlashParams m_dfuParams = {};
  // The history record of this update, filled in stage by stage; and when "Download" began.
  HistoryRecord m_history;
  std::uint64_t m_startedTick = 0;
};

// The record as the update ended, now, with this text.
HistoryRecord FinishedRecord(const UpdateSession& session, const std::wstring& result);
