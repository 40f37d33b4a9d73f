// Drives dialogs the way a person would, from another thread or another process of the same
// Wine session: finds windows, reads what they show, clicks and presses keys.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace dialog_driver {

// Polls find() until it returns a window; null after timeoutMs (a failure, not a measurement).
HWND WaitFor(const std::function<HWND()>& find, DWORD timeoutMs = 20000);
// Polls until done() is true, every pollMs; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000, DWORD pollMs = 20);

// A visible top-level dialog window (class #32770) of process pid (0: any process) whose
// caption is `caption` (null: any) and that is not `except`.
HWND FindDialog(DWORD pid, const wchar_t* caption, HWND except = nullptr);
// The same for a dialog window that may still be hidden.
HWND FindDialogEvenHidden(DWORD pid, const wchar_t* caption);

std::wstring Text(HWND window);
std::wstring ClassOf(HWND window);

struct MessageBoxSeen {
  std::wstring caption, text;
  HWND owner = nullptr;
  std::vector<int> buttons;  // ids of the visible push buttons, in order
};
MessageBoxSeen ReadMessageBox(HWND box);

// Clicks a push button of a dialog as the mouse would end up doing: the button's command.
void Click(HWND dialog, int id);
// Presses and releases a key on the control that has the focus in the window's thread.
void PressKey(HWND window, UINT virtualKey);
HWND FocusOf(HWND window);

// The texts of a list box's entries, in list order.
std::vector<std::wstring> ListEntries(HWND list);
// A left click in the middle of entry index, as the mouse delivers it.
void ClickListEntry(HWND list, int index);
// Types path into the file name box of an open-file dialog and presses its OK; false when the
// dialog has no such box.
bool ChooseFileName(HWND picker, const std::wstring& path);

// ASCII for printing: other characters become '?', a line feed "\n".
std::string Printable(const std::wstring& text);

// Answers every message box and common dialog of pid with Cancel/OK-as-cancel; for clean-up
// after a failed step.
void DismissPopups(DWORD pid, HWND except);

}  // namespace dialog_driver
