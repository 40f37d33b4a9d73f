// The start-up check of the DFU library: what the dialog asks and does for each result of
// LoadDfuLibrary before it fills the device list. Kept apart from the window so it can be
// exercised without one.
#pragma once

#include <windows.h>

class DriverPromptHost {
 public:
  virtual ~DriverPromptHost() = default;
  // A message box owned by the dialog; a null caption means the application's title.
  virtual int PromptBox(const wchar_t* text, const wchar_t* caption, UINT type) = 0;
  virtual void RunDriverInstallation() = 0;
};

// Texts of the start-up check, as users of the instruments know them.
namespace startup_texts {
constexpr wchar_t kDriverNotFound[] = L"DFU driver is not found! Do you want to install it?";
constexpr wchar_t kDriverNotFoundCaption[] = L"Attention";
constexpr wchar_t kWrongDriverVersion[] = L"DFU driver version is incorrect!Do you want to reinstall it?";
constexpr wchar_t kUnexpectedResult[] = L"Impossible be here!";
}  // namespace startup_texts

// Answers the result of LoadDfuLibrary at start-up (prompts, driver installation) and
// returns 1 only when the library is ready (the device list's DfuReady), 0 otherwise.
int CheckDfuLibraryAtStartup(int loadResult, DriverPromptHost& host);
