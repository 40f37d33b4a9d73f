#include "tools/knupdate/WritingGuard.h"

#include "ui/WindowThreadCall.h"
#include "procedure/ProcedureTexts.h"

namespace {

constexpr wchar_t kCallClassName[] = L"KnWritingGuardCalls";
constexpr wchar_t kGuardClassName[] = L"KnUpdateSessionGuard";
constexpr UINT kCallOnGuardThread = WM_APP + 2;

void RegisterClassOnce(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = name;
  RegisterClassW(&windowClass);  // fails harmlessly when registered before
}

void AllowClosingTheConsole(bool allowed) {
  HWND console = GetConsoleWindow();
  if (console == nullptr) return;
  HMENU menu = GetSystemMenu(console, FALSE);
  if (menu != nullptr) EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (allowed ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

WritingGuard::WritingGuard() {
  RegisterClassOnce(kCallClassName, &WritingGuard::CallProcedure);
  RegisterClassOnce(kGuardClassName, &WritingGuard::GuardProcedure);
  m_callWindow = CreateWindowExW(0, kCallClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
}

WritingGuard::~WritingGuard() {
  Set(false);
  if (m_callWindow != nullptr) DestroyWindow(m_callWindow);
}

LRESULT CALLBACK WritingGuard::CallProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCallOnGuardThread) return RunSentCall(window, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK WritingGuard::GuardProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYENDSESSION) return FALSE;  // only while the firmware is written: it exists only then
  return DefWindowProcW(window, message, wParam, lParam);
}

void WritingGuard::Engage() {
  CallOnWindowThread(m_callWindow, kCallOnGuardThread, [this] { Set(true); });
}

void WritingGuard::Release() {
  CallOnWindowThread(m_callWindow, kCallOnGuardThread, [this] { Set(false); });
}

void WritingGuard::Set(bool engaged) {
  AllowClosingTheConsole(!engaged);
  // A message-only window hears nothing of the session: the guard is a top-level window, never
  // shown.
  if (engaged && m_guardWindow == nullptr) {
    m_guardWindow = CreateWindowExW(WS_EX_TOOLWINDOW, kGuardClassName, L"knupdate", WS_POPUP, 0, 0, 0, 0, nullptr,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
    if (m_guardWindow != nullptr) ShutdownBlockReasonCreate(m_guardWindow, texts::kShutdownBlocked);
  } else if (!engaged && m_guardWindow != nullptr) {
    ShutdownBlockReasonDestroy(m_guardWindow);
    DestroyWindow(m_guardWindow);
    m_guardWindow = nullptr;
  }
}
