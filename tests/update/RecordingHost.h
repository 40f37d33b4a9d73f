// An update host without a window: it keeps every message it was asked to show.
#pragma once

#include <string>
#include <vector>

#include "update/UpdateHost.h"

class RecordingHost : public UpdateHost {
 public:
  void ShowMessage(const std::wstring& text) override { messages.push_back(text); }
  std::vector<std::wstring> messages;
};
