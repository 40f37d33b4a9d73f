#include "framework/Framework.h"

#include <shobjidl.h>

#include <vector>

namespace {

CWinApp* g_pApp = nullptr;

const AFX_MSGMAP_ENTRY kNoEntries[] = {{0, 0, 0, nullptr}};

}  // namespace

// ---- message maps ----------------------------------------------------------------------

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP messageMap = {nullptr, &kNoEntries[0]};
  return &messageMap;
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, WPARAM wParam) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn != nullptr; ++entry) {
      if (entry->nMessage != message) continue;
      if (message == WM_COMMAND && (entry->nID != LOWORD(wParam) || entry->nCode != HIWORD(wParam))) continue;
      return entry;
    }
  }
  return nullptr;
}

// ---- application -----------------------------------------------------------------------

CWinApp::CWinApp() : m_pszAppName(AfxGetAppName()) { g_pApp = this; }

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() {
  // The program takes no arguments, so a restart needs none either.
  if (m_dwRestartManagerSupportFlags & AFX_RESTART_MANAGER_SUPPORT_RESTART) RegisterApplicationRestart(nullptr, 0);
  return TRUE;
}

void CWinApp::SetRegistryKey(LPCWSTR lpszRegistryKey) { m_pszRegistryKey = lpszRegistryKey; }

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() { return g_pApp != nullptr ? g_pApp->m_pMainWnd : nullptr; }

LPCWSTR AfxGetAppName() {
  static std::wstring name;
  if (name.empty()) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    name = path;
    const std::size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.erase(dot);
  }
  return name.c_str();
}

HINSTANCE AfxGetResourceHandle() { return GetModuleHandleW(nullptr); }

// ---- windows ---------------------------------------------------------------------------

void CWnd::CenterWindow(HWND hWndCenter) {
  if (hWndCenter == nullptr) hWndCenter = ::GetDesktopWindow();
  RECT window, center;
  ::GetWindowRect(m_hWnd, &window);
  ::GetWindowRect(hWndCenter, &center);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const int x = center.left + (center.right - center.left - width) / 2;
  const int y = center.top + (center.bottom - center.top - height) / 2;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CWnd::MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nType) {
  return ::MessageBoxW(m_hWnd, lpszText, lpszCaption != nullptr ? lpszCaption : AfxGetAppName(), nType);
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.m_hWnd == nullptr) rControl.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
}

// ---- dialogs ---------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CDialogEx, CDialog)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal() {
  HWND parent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
  const INT_PTR result = DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), parent,
                                         &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
    dialog->m_hWnd = hWnd;
    return dialog->OnInitDialog();
  }
  // Messages before WM_INITDIALOG (the font, for one) go to the system.
  CDialog* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  return dialog->OnDialogMessage(message, wParam, lParam);
}

// A dialog procedure returns FALSE for "not handled, do the default" and TRUE with the
// result in DWLP_MSGRESULT for handled messages; a few messages return their result directly.
INT_PTR CDialog::OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, wParam);
  if (entry == nullptr && message == WM_COMMAND && AfxGetApp() != nullptr) {
    // Commands the dialog does not handle go on to the application, as on the framework.
    const AFX_MSGMAP_ENTRY* appEntry = AfxGetApp()->FindMessageEntry(message, wParam);
    if (appEntry != nullptr) {
      appEntry->pfn(AfxGetApp(), wParam, lParam);
      return TRUE;
    }
  }
  if (entry == nullptr) return FALSE;

  // Handlers may run nested message loops (message boxes), so the flag is kept per call.
  const bool outerUseDefault = m_bUseDefault;
  m_bUseDefault = false;
  const LRESULT result = entry->pfn(this, wParam, lParam);
  const bool useDefault = m_bUseDefault;
  m_bUseDefault = outerUseDefault;

  if (useDefault) return FALSE;
  if (message == WM_QUERYDRAGICON) return static_cast<INT_PTR>(result);
  SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}

// ---- common dialogs --------------------------------------------------------------------

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt, LPCWSTR lpszFileName, DWORD dwFlags,
                         LPCWSTR lpszFilter, CWnd* pParentWnd)
    : m_bOpenFileDialog(bOpenFileDialog),
      m_strDefExt(lpszDefExt != nullptr ? lpszDefExt : L""),
      m_strFileName(lpszFileName != nullptr ? lpszFileName : L""),
      m_strFilter(lpszFilter != nullptr ? lpszFilter : L""),
      m_dwFlags(dwFlags),
      m_pParentWnd(pParentWnd) {}

INT_PTR CFileDialog::DoModal() {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INT_PTR result = IDCANCEL;
  IFileDialog* dialog = nullptr;
  const HRESULT created =
      m_bOpenFileDialog
          ? CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                             reinterpret_cast<void**>(&dialog))
          : CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSaveDialog,
                             reinterpret_cast<void**>(&dialog));
  if (SUCCEEDED(created)) {
    // "name|pattern|name|pattern||" becomes the dialog's list of file types.
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (std::size_t bar; (bar = m_strFilter.find(L'|', start)) != std::wstring::npos; start = bar + 1) {
      parts.push_back(m_strFilter.substr(start, bar - start));
    }
    std::vector<COMDLG_FILTERSPEC> fileTypes;
    for (std::size_t i = 0; i + 1 < parts.size() && !parts[i].empty(); i += 2) {
      fileTypes.push_back(COMDLG_FILTERSPEC{parts[i].c_str(), parts[i + 1].c_str()});
    }
    if (!fileTypes.empty()) dialog->SetFileTypes(static_cast<UINT>(fileTypes.size()), fileTypes.data());

    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    options |= FOS_FORCEFILESYSTEM;
    if (m_dwFlags & OFN_OVERWRITEPROMPT) options |= FOS_OVERWRITEPROMPT;
    dialog->SetOptions(options);
    if (!m_strDefExt.empty()) dialog->SetDefaultExtension(m_strDefExt.c_str() + (m_strDefExt[0] == L'.' ? 1 : 0));
    if (!m_strFileName.empty()) dialog->SetFileName(m_strFileName.c_str());

    // Without a parent the dialog belongs to the main window, so it is modal to it.
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    if (owner == nullptr && AfxGetMainWnd() != nullptr) owner = AfxGetMainWnd()->m_hWnd;
    if (owner == nullptr) owner = GetActiveWindow();

    IShellItem* item = nullptr;
    if (dialog->Show(owner) == S_OK && SUCCEEDED(dialog->GetResult(&item))) {
      PWSTR path = nullptr;
      if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        m_strPathName = path;
        CoTaskMemFree(path);
        result = IDOK;
      }
      item->Release();
    }
    dialog->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return result;
}
