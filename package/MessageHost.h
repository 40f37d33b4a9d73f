// Where the update procedure's messages go: message boxes owned by the dialog. The package
// check needs nothing else, so the package tool and its tests implement only this.
#pragma once

#include <string>

#include "package/PackageTexts.h"

class MessageHost {
 public:
  virtual ~MessageHost() = default;
  // A message box owned by the dialog, OK only, the application's title as caption; returns
  // once it has been dismissed.
  virtual void ShowMessage(const std::wstring& text) = 0;
  // The package brings a bootloader: writing it may leave the instrument unusable. The dialog
  // shows the warning and goes on; a console may ask first. False: not confirmed, and the
  // package is not used (the host has said so).
  virtual bool ConfirmBootloaderUpdate() {
    ShowMessage(texts::kBootloaderWarning);
    return true;
  }
};
