// Where the update procedure's messages go: message boxes owned by the dialog. The package
// check needs nothing else, so the package tool and its tests implement only this.
#pragma once

#include <string>

class MessageHost {
 public:
  virtual ~MessageHost() = default;
  // A message box owned by the dialog, OK only, the application's title as caption; returns
  // once it has been dismissed.
  virtual void ShowMessage(const std::wstring& text) = 0;
};
