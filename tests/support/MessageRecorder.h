// A message host without a window: it keeps every message it was asked to show.
#pragma once

#include <string>
#include <vector>

#include "package/MessageHost.h"

class MessageRecorder : public MessageHost {
 public:
  void ShowMessage(const std::wstring& text) override { messages.push_back(text); }
  std::vector<std::wstring> messages;
};
