// The small part of the dialog framework the updater uses, under the framework's own names so
// the application code reads as it would on the original framework. Each wrapper holds a
// window handle and forwards to the Win32 call it stands for; dispatch goes through static
// message maps (message, command id, handler) walked from the class to its bases.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <type_traits>

class CCmdTarget;
class CWnd;
class CWinApp;

#define afx_msg

// Framework ids the program refers to.
#define AFX_RESTART_MANAGER_SUPPORT_RESTART 0x01

// ---- message maps ----------------------------------------------------------------------

// Unpacks wParam and lParam for one handler signature and calls it.
typedef LRESULT (*AFX_PMSG_THUNK)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;  // WM_COMMAND: notification code
  UINT nID;    // WM_COMMAND: command or control id
  AFX_PMSG_THUNK pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                             \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }        \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                        \
    typedef theClass ThisClass;                                                            \
    typedef baseClass TheBaseClass;                                                        \
    static_assert(std::is_base_of<TheBaseClass, ThisClass>::value, "base of the map"); \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                  \
  {0, 0, 0, nullptr}};                                                                     \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                      \
  }

#define ON_COMMAND(id, memberFxn)                                              \
  {WM_COMMAND, 0, (id), [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {         \
     (static_cast<ThisClass*>(t)->*(memberFxn))();                             \
     return 0;                                                                 \
   }},
#define ON_BN_CLICKED(id, memberFxn)                                           \
  {WM_COMMAND, BN_CLICKED, (id), [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { \
     (static_cast<ThisClass*>(t)->*(memberFxn))();                             \
     return 0;                                                                 \
   }},
#define ON_MESSAGE(message, memberFxn)                                         \
  {(message), 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {         \
     return (static_cast<ThisClass*>(t)->*(memberFxn))(w, l);                  \
   }},
#define ON_WM_SYSCOMMAND()                                                     \
  {WM_SYSCOMMAND, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {     \
     static_cast<ThisClass*>(t)->OnSysCommand(static_cast<UINT>(w), l);        \
     return 0;                                                                 \
   }},
#define ON_WM_PAINT()                                                          \
  {WM_PAINT, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {              \
     static_cast<ThisClass*>(t)->OnPaint();                                    \
     return 0;                                                                 \
   }},
#define ON_WM_QUERYDRAGICON()                                                  \
  {WM_QUERYDRAGICON, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {      \
     return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(t)->OnQueryDragIcon()); \
   }},
#define ON_WM_TIMER()                                                          \
  {WM_TIMER, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT {            \
     static_cast<ThisClass*>(t)->OnTimer(static_cast<UINT_PTR>(w));            \
     return 0;                                                                 \
   }},

class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;
  virtual const AFX_MSGMAP* GetMessageMap() const { return GetThisMessageMap(); }
  // The first entry for message (and, for WM_COMMAND, its id and code) in this class's map
  // or a base's; null when none handles it.
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, WPARAM wParam) const;

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
};

// ---- application -----------------------------------------------------------------------

class CWinApp : public CCmdTarget {
 public:
  CWinApp();
  ~CWinApp() override;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Registers for restart by the restart manager when asked to by the flags.
  virtual BOOL InitInstance();
  void SetRegistryKey(LPCWSTR lpszRegistryKey);

  DWORD m_dwRestartManagerSupportFlags = 0;
  CWnd* m_pMainWnd = nullptr;
  LPCWSTR m_pszAppName;
  LPCWSTR m_pszRegistryKey = nullptr;

  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The executable's base name: the program has no title string.
LPCWSTR AfxGetAppName();
HINSTANCE AfxGetResourceHandle();
// ---- windows ---------------------------------------------------------------------------

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
  BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
  }
  HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
  void SetDlgItemText(int nID, LPCWSTR lpszString) { ::SetDlgItemTextW(m_hWnd, nID, lpszString); }
  HMENU GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }
  HICON SetIcon(HICON hIcon, BOOL bBigIcon) {
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
  }
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
    return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
  }
  BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
  // Centres the window on hWndCenter (the desktop when null).
  void CenterWindow(HWND hWndCenter = nullptr);
  // A message box owned by this window; the application's title when no caption is given.
  int MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption = nullptr, UINT nType = MB_OK);

  HWND m_hWnd = nullptr;

 protected:
  // Hands the current message to the system's default processing once the handler returns.
  LRESULT Default() {
    m_bUseDefault = true;
    return 0;
  }
  afx_msg void OnSysCommand(UINT, LPARAM) { Default(); }
  afx_msg void OnTimer(UINT_PTR) { Default(); }
  afx_msg void OnPaint() { Default(); }

  bool m_bUseDefault = false;
};

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
};

// Binds the control wrapper to the dialog's control nIDC.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
 public:
  CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

  // Runs the dialog from its template resource until EndDialog; returns EndDialog's result.
  virtual INT_PTR DoModal();
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

 protected:
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()
};

class CDialogEx : public CDialog {
 public:
  using CDialog::CDialog;

 protected:
  DECLARE_MESSAGE_MAP()
};

// ---- controls --------------------------------------------------------------------------

class CButton : public CWnd {};

class CEdit : public CWnd {};

// The device list fills it with list-box messages of its own (host/DeviceList).
class CListBox : public CWnd {};

class CProgressCtrl : public CWnd {
 public:
  // The message carries both bounds in 16 bits each.
  void SetRange(WORD nLower, WORD nUpper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
  int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, nPos, 0)); }
};

// ---- common dialogs --------------------------------------------------------------------

// The Vista-style file dialog (IFileOpenDialog / IFileSaveDialog).
class CFileDialog {
 public:
  // lpszFilter: "name|pattern|...|" pairs ending in "||".
  CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt = nullptr, LPCWSTR lpszFileName = nullptr,
              DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCWSTR lpszFilter = nullptr,
              CWnd* pParentWnd = nullptr);
  CFileDialog(const CFileDialog&) = delete;
  CFileDialog& operator=(const CFileDialog&) = delete;

  // IDOK with the chosen path, IDCANCEL when the user cancelled or the dialog failed.
  INT_PTR DoModal();
  std::wstring GetPathName() const { return m_strPathName; }

 private:
  BOOL m_bOpenFileDialog;
  std::wstring m_strDefExt, m_strFileName, m_strFilter, m_strPathName;
  DWORD m_dwFlags;
  CWnd* m_pParentWnd;
};
