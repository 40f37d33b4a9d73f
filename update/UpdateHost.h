// What the update procedure needs from the dialog that runs it. The dialog implements it
// with real message boxes; tests and the package tool implement it without a window.
#pragma once

#include <string>

class UpdateHost {
 public:
  virtual ~UpdateHost() = default;
  // A message box owned by the dialog, OK only, the application's title as caption.
  virtual void ShowMessage(const std::wstring& text) = 0;
};
