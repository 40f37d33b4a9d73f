#include "sim/operator/DialogDriver.h"

namespace dialog_driver {

namespace {

struct Search {
  DWORD pid;
  const wchar_t* caption;
  HWND except;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
  Search& search = *reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (search.pid != 0 && pid != search.pid) return TRUE;
  if (window == search.except) return TRUE;
  if (search.visibleOnly && !IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) != L"#32770") return TRUE;
  if (search.caption != nullptr && Text(window) != search.caption) return TRUE;
  search.found = window;
  return FALSE;
}

HWND Find(DWORD pid, const wchar_t* caption, HWND except, bool visibleOnly) {
  Search search{pid, caption, except, visibleOnly, nullptr};
  EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

HWND WaitFor(const std::function<HWND()>& find, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (HWND window = find()) return window;
    if (GetTickCount64() > end) return nullptr;
    Sleep(20);
  }
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() > end) return false;
    Sleep(20);
  }
}

HWND FindDialog(DWORD pid, const wchar_t* caption, HWND except) { return Find(pid, caption, except, true); }

HWND FindDialogEvenHidden(DWORD pid, const wchar_t* caption) { return Find(pid, caption, nullptr, false); }

std::wstring Text(HWND window) {
  wchar_t text[1024] = {};
  // WM_GETTEXT works across processes for plain text; GetWindowText would not ask them.
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

MessageBoxSeen ReadMessageBox(HWND box) {
  MessageBoxSeen seen;
  seen.caption = Text(box);
  seen.owner = GetWindow(box, GW_OWNER);
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    const std::wstring cls = ClassOf(child);
    if (cls == L"Static" && id == 0xFFFF) seen.text = Text(child);
    if (cls == L"Button" && IsWindowVisible(child)) seen.buttons.push_back(id);
  }
  return seen;
}

void Click(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus != nullptr ? info.hwndFocus : window;
}

void PressKey(HWND window, UINT virtualKey) {
  HWND focus = FocusOf(window);
  const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  PostMessageW(focus, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  PostMessageW(focus, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000u);
}

void DismissPopups(DWORD pid, HWND except) {
  for (int i = 0; i < 20; ++i) {
    HWND popup = FindDialog(pid, nullptr, except);
    if (popup == nullptr) return;
    PostMessageW(popup, WM_COMMAND, IDCANCEL, 0);
    Sleep(100);
  }
}

}  // namespace dialog_driver
