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

// A named callback, not a lambda: a lambda converts only to a function of the compiler's
// default calling convention, which in 32-bit Windows is not the system's.
BOOL CALLBACK MatchVisibleEdit(HWND child, LPARAM found) {
  if (ClassOf(child) != L"Edit" || !IsWindowVisible(child)) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
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

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() > end) return false;
    Sleep(pollMs);
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

std::vector<std::wstring> ListEntries(HWND list) {
  std::vector<std::wstring> entries;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    entries.push_back(text);
  }
  return entries;
}

void ClickListEntry(HWND list, int index) {
  RECT item = {};
  SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(list, WM_LBUTTONUP, 0, at);
}

bool ChooseFileName(HWND picker, const std::wstring& path) {
  // The file name box is the one visible edit box of the dialog.
  HWND nameBox = nullptr;
  EnumChildWindows(picker, &MatchVisibleEdit, reinterpret_cast<LPARAM>(&nameBox));
  if (nameBox == nullptr) return false;
  SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageW(picker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(picker, IDOK)));
  return true;
}

std::string Printable(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\n') {
      out += "\\n";
    } else {
      out += c < 0x80 ? static_cast<char>(c) : '?';
    }
  }
  return out;
}

}  // namespace dialog_driver
