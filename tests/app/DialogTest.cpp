// The main dialog with real windows: the dialog runs modally on the test's thread, as in the
// program, while a second thread looks at it and operates it like a person. The DFU library
// is our test kndfu.dll (its LMDFUInit result set per test); DPInst is our stand-in.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/QM_TWBootloaderDlg.h"
#include "history/UpdateHistory.h"
#include "sim/operator/DialogDriver.h"
#include "tests/app/DialogFixture.h"
#include "tests/app/Installers.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPackages.h"

namespace dd = dialog_driver;

namespace {

// Where the dialog manager puts a control: position and size are converted separately.
RECT DialogUnits(HWND dialog, int x, int y, int cx, int cy) {
  RECT position = {x, y, 0, 0}, size = {cx, cy, 0, 0};
  MapDialogRect(dialog, &position);
  MapDialogRect(dialog, &size);
  return RECT{position.left, position.top, position.left + size.left, position.top + size.top};
}

RECT ClientRectOf(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// ---- the template ----------------------------------------------------------------------

struct ControlSpec {
  int id;  // 0xFFFF: no id
  const wchar_t* cls;
  const wchar_t* caption;
  DWORD style;  // exactly as in the template
  RECT units;   // x, y, width, height in dialog units
};

const ControlSpec kControls[] = {
    {0xFFFF, L"Button", L"Select device", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, {14, 8, 148, 65}},
    {1000, L"ListBox", L"",
     WS_CHILD | WS_VISIBLE | LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
     {20, 19, 135, 46}},
    {0xFFFF, L"Button", L"Select firmware", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, {14, 77, 148, 48}},
    {1004, L"Edit", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, {20, 91, 135, 14}},
    {1002, L"Button", L"Select", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP, {118, 108, 37, 14}},
    {IDOK, L"Button", L"Download", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, {114, 135, 50, 14}},
    {1009, L"Button", L"Static", WS_CHILD | BS_GROUPBOX, {14, 125, 95, 27}},
    {1008, L"msctls_progress32", L"", WS_CHILD | WS_BORDER, {19, 137, 80, 11}},
};

// The dialog as Windows builds it from template 102: what a user sees and tabs through.
class DialogTemplateTest : public DialogFixture {};

TEST_F(DialogTemplateTest, ControlsAsCreatedInTabOrder) {
  RunDialog([&](HWND window) {
    EXPECT_EQ(dd::Text(window), kTitle);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    RECT client;
    GetClientRect(window, &client);
    const RECT size = DialogUnits(window, 0, 0, 176, 162);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_STREQ(font.lfFaceName, L"MS Shell Dlg");
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);

    // Creation order is the tab order.
    std::size_t index = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT), ++index) {
      ASSERT_LT(index, std::size(kControls)) << "an extra control";
      const ControlSpec& control = kControls[index];
      SCOPED_TRACE(testing::Message() << "control " << index << " (id " << control.id << ")");
      EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(child)), control.id);
      EXPECT_EQ(dd::ClassOf(child), control.cls);
      EXPECT_EQ(dd::Text(child), control.caption);
      EXPECT_EQ(IsWindowVisible(child) != FALSE, (control.style & WS_VISIBLE) != 0);
      const RECT expected = DialogUnits(window, control.units.left, control.units.top, control.units.right, control.units.bottom);
      const RECT actual = ClientRectOf(child);
      EXPECT_TRUE(EqualRect(&expected, &actual))
          << "at " << actual.left << "," << actual.top << " " << actual.right - actual.left << "x"
          << actual.bottom - actual.top << ", expected " << expected.left << "," << expected.top << " "
          << expected.right - expected.left << "x" << expected.bottom - expected.top;
    }
    EXPECT_EQ(index, std::size(kControls));

    // Tab walks list, edit, Select, Download and back; the list has the focus first.
    HWND list = GetDlgItem(window, IDC_DEVICE_LIST);
    EXPECT_EQ(dd::FocusOf(window), list);
    std::vector<int> tabs;
    HWND item = list;
    for (int i = 0; i < 5; ++i, item = GetNextDlgTabItem(window, item, FALSE)) tabs.push_back(GetDlgCtrlID(item));
    EXPECT_EQ(tabs, (std::vector<int>{IDC_DEVICE_LIST, IDC_FILE_PATH, IDC_SELECT, IDOK, IDC_DEVICE_LIST}));

    // The control members are bound to their controls.
    for (int id : {IDC_SELECT, IDOK, IDC_PROGRESS, IDC_DEVICE_LIST, IDC_FILE_PATH}) {
      EXPECT_EQ(dialog().BoundControl(id), GetDlgItem(window, id)) << "control " << id;
    }

    // System menu: a separator, then the About item, which does nothing (a box would block
    // this call).
    HMENU menu = GetSystemMenu(window, FALSE);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
    wchar_t about[64] = {};
    GetMenuStringW(menu, count - 1, about, 64, MF_BYPOSITION);
    EXPECT_STREQ(about, L"&About QM_TWBootloader...");
    EXPECT_EQ(GetMenuItemID(menu, count - 1), UINT(IDM_ABOUTBOX));
    SendMessageW(window, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    EXPECT_EQ(dd::FindDialog(GetCurrentProcessId(), nullptr, window), nullptr);

    // Our icon, big and small; also while dragged.
    HICON icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(icon, dialog().Icon());
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_QUERYDRAGICON, 0, 0)), icon);

    CloseWithEsc(window);
  });
}

// ---- start-up --------------------------------------------------------------------------

struct StartupCase {
  const char* name;
  int initResult;
  const wchar_t* caption;  // null: no box; empty: the application's title
  const wchar_t* text;
  std::vector<int> buttons;
  int answer;
  bool installs;
  int dfuReady;
};

class DialogStartupTest : public DialogFixture, public testing::WithParamInterface<StartupCase> {
 protected:
  DialogStartupTest() : DialogFixture(GetParam().initResult) {}
};

TEST_P(DialogStartupTest, BoxThenInstallationThenDialog) {
  const StartupCase& c = GetParam();
  DriverFolder folder;
  const DWORD pid = GetCurrentProcessId();
  const std::wstring appTitle = AfxGetAppName();
  RunDialog(
      [&] {
        if (c.caption == nullptr) return;
        HWND box = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, nullptr); });
        ASSERT_NE(box, nullptr);
        const dd::MessageBoxSeen seen = dd::ReadMessageBox(box);
        EXPECT_EQ(seen.caption, *c.caption != L'\0' ? std::wstring(c.caption) : appTitle);
        EXPECT_EQ(seen.text, c.text);
        EXPECT_EQ(seen.buttons, c.buttons);
        // Owned by the dialog, which is not shown yet; nothing installed before the answer.
        HWND hidden = dd::FindDialogEvenHidden(pid, kTitle);
        EXPECT_EQ(seen.owner, hidden);
        EXPECT_FALSE(IsWindowVisible(hidden));
        EXPECT_TRUE(folder.Runs().empty());
        PostMessageW(box, WM_COMMAND, c.answer, 0);
      },
      [&](HWND window) {
        const std::vector<InstallerRun> runs = folder.Runs();
        if (c.installs) {
          ASSERT_EQ(runs.size(), 2u);
          EXPECT_EQ(runs[0].installer, L"DPInst_x64.exe");
          EXPECT_EQ(runs[0].parameters, L"/PATH .\\KNCDCDriver\\ /F /LM  /A");
          EXPECT_EQ(runs[0].directory, InstallerDirectory(folder));
          EXPECT_EQ(runs[1].installer, L"DPInst_x64.exe");
          EXPECT_EQ(runs[1].parameters, L"/PATH .\\DFU_Driver\\ /F /LM  /A");
          EXPECT_EQ(runs[1].directory, InstallerDirectory(folder));
        } else {
          EXPECT_TRUE(runs.empty());
        }
        // The first refresh tried the library again: still the same answer.
        EXPECT_EQ(dialog().Devices().DfuReady(), c.dfuReady == 1);
        CloseWithEsc(window);
      });
}

INSTANTIATE_TEST_SUITE_P(
    LibraryResults, DialogStartupTest,
    testing::Values(
        StartupCase{"DriverMissingInstall", -3, L"Attention", L"DFU driver is not found! Do you want to install it?",
                    {IDOK, IDCANCEL}, IDOK, true, 0},
        StartupCase{"DriverMissingDeclined", -3, L"Attention",
                    L"DFU driver is not found! Do you want to install it?", {IDOK, IDCANCEL}, IDCANCEL, false, 0},
        StartupCase{"WrongVersion", -7, L"", L"DFU driver version is incorrect!Do you want to reinstall it?", {IDOK},
                    IDOK, true, 0},
        StartupCase{"UnexpectedResult", -5, L"", L"Impossible be here!", {IDOK}, IDOK, false, 1},
        StartupCase{"Ready", 0, nullptr, L"", {}, 0, false, 1}),
    [](const testing::TestParamInfo<StartupCase>& info) { return std::string(info.param.name); });

// ---- progress display ------------------------------------------------------------------

struct ProgressStep {
  UINT message;
  WPARAM wParam;
  bool shown;
  int upper;  // expected range 0..upper (checked while shown)
  int position;
  const wchar_t* caption;
};

class DialogProgressTest : public DialogFixture {};

TEST_F(DialogProgressTest, NotificationsDriveTheBarAndTheCaption) {
  const ProgressStep steps[] = {
      {UM_DFU_WRITE_BEGIN, 0, true, 65535, 0, L"Program file downloading!"},
      {UM_DFU_PROGRESS, 40000, true, 65535, 40000, L"Program file downloading!"},
      {UM_DFU_WRITE_BEGIN, 1, true, 0, 0, L"Program file downloading!"},
      {UM_DFU_WRITE_BEGIN, 100, true, 99, 0, L"Program file downloading!"},
      {UM_DFU_PROGRESS, 42, true, 99, 42, L"Program file downloading!"},
      {WM_USER + 0x201, 7, true, 99, 42, L"Program file downloading!"},  // not a notification we handle
      {UM_DFU_VERIFY_BEGIN, 50, true, 49, 0, L"Program file verifying!"},
      {UM_DFU_PROGRESS, 49, true, 49, 49, L"Program file verifying!"},
      {UM_DFU_DONE, 0, false, 49, 49, L"Program file verifying!"},
      {UM_DFU_VERIFY_BEGIN, 0x10001, true, 0, 0, L"Program file verifying!"},  // 16-bit range
      {UM_DFU_FAILED, 0, false, 0, 0, L"Program file verifying!"},
  };
  RunDialog([&](HWND window) {
    dialog().SetStage(L"Program file");  // from this thread, as the worker does
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    HWND status = GetDlgItem(window, IDC_STATUS);
    for (const ProgressStep& step : steps) {
      SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << step.message << " wParam " << std::dec
                                      << step.wParam);
      EXPECT_EQ(SendMessageW(window, step.message, step.wParam, 0), 0);
      EXPECT_EQ(IsWindowVisible(bar) != FALSE, step.shown);
      EXPECT_EQ(IsWindowVisible(status) != FALSE, step.shown);
      PBRANGE range = {};
      SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
      EXPECT_EQ(range.iLow, 0);
      EXPECT_EQ(range.iHigh, step.upper);
      EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), step.position);
      EXPECT_EQ(dd::Text(status), step.caption);
    }
    CloseWithEsc(window);
  });
}

// A library may post its notifications instead of sending them: those of one write can still
// be queued when the worker names the next stage, and must show with the stage they belong to.
TEST_F(DialogProgressTest, PostedNotificationsKeepTheirStage) {
  RunDialog([&](HWND window) {
    dialog().SetStage(L"Data file");  // from this thread, as the worker does
    PostMessageW(window, UM_DFU_WRITE_BEGIN, 10, 0);
    PostMessageW(window, UM_DFU_PROGRESS, 9, 0);
    dialog().SetStage(L"Media file");
    SendMessageW(window, WM_NULL, 0, 0);
    EXPECT_EQ(dd::Text(GetDlgItem(window, IDC_STATUS)), L"Data file downloading!");
    EXPECT_EQ(SendMessageW(GetDlgItem(window, IDC_PROGRESS), PBM_GETPOS, 0, 0), 9);
    PostMessageW(window, UM_DFU_WRITE_BEGIN, 10, 0);
    EXPECT_TRUE(dd::WaitUntil([&] { return dd::Text(GetDlgItem(window, IDC_STATUS)) == L"Media file downloading!"; }));
    CloseWithEsc(window);
  });
}

// ---- file choice and Download ----------------------------------------------------------

// A package that passes the check, built in the test.
std::wstring MakePackage(const testing_support::ScratchDirectory& dir) {
  testing_support::PackageImages images;
  images.program = std::string(4096, 'p');
  images.media = std::string(512, 'm');
  images.data = std::string(64, 'd');
  const std::wstring package = testing_support::BuildPackage(dir.Path(), images);
  EXPECT_FALSE(package.empty());
  return package;
}

// Chooses `path` in the open-file dialog of the system (or cancels it when path is empty).
void ChooseInFileDialog(HWND window, const std::wstring& path) {
  const DWORD pid = GetCurrentProcessId();
  dd::Click(window, IDC_SELECT);
  HWND picker = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, window); });
  ASSERT_NE(picker, nullptr) << "no file dialog";
  EXPECT_EQ(GetWindow(picker, GW_OWNER), window);
  if (path.empty()) {
    PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
  } else {
    ASSERT_TRUE(dd::ChooseFileName(picker, path)) << "no file name box";
  }
  EXPECT_TRUE(dd::WaitUntil([&] { return !IsWindow(picker); })) << "file dialog still open";
  // Back in the dialog's own loop: OnSelectFile has finished.
  if (!path.empty()) {
    EXPECT_TRUE(dd::WaitUntil([&] { return dd::Text(GetDlgItem(window, IDC_FILE_PATH)) == path; }));
  }
  SendMessageW(window, WM_NULL, 0, 0);
}

// The update history of a test of its own, not the prefix user's, while it lives.
class HistoryOfItsOwn {
 public:
  explicit HistoryOfItsOwn(const std::wstring& path) { SetHistoryFileForTesting(path); }
  ~HistoryOfItsOwn() { SetHistoryFileForTesting(std::wstring()); }
};

class DialogFileTest : public DialogFixture {};

TEST_F(DialogFileTest, OnlyTheChosenFileCountsAndCancelKeepsIt) {
  testing_support::ScratchDirectory scratch;
  const HistoryOfItsOwn history(scratch / L"history.csv");  // "No device is found!" is recorded
  const std::wstring package = MakePackage(scratch);
  const DWORD pid = GetCurrentProcessId();
  RunDialog([&](HWND window) {
    HWND edit = GetDlgItem(window, IDC_FILE_PATH);

    // A good package typed by hand is not used: Enter (focus in the list) gives the box.
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(package.c_str()));
    dd::PressKey(window, VK_RETURN);
    HWND box = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, window); });
    ASSERT_NE(box, nullptr) << "no box after Enter";
    const dd::MessageBoxSeen seen = dd::ReadMessageBox(box);
    EXPECT_EQ(seen.text, L"Please open a update file at first!");
    EXPECT_EQ(seen.caption, AfxGetAppName());
    EXPECT_EQ(seen.owner, window);
    EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(dd::WaitUntil([&] { return !IsWindow(box); }));
    EXPECT_TRUE(IsWindowVisible(window));
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));

    // Chosen with Select: shown in the edit box and kept.
    ChooseInFileDialog(window, package);
    EXPECT_EQ(dialog().UpdateFile(), package);
    EXPECT_EQ(dd::Text(edit), package);

    // Select again, then Cancel: the choice stays.
    ChooseInFileDialog(window, L"");
    EXPECT_EQ(dialog().UpdateFile(), package);
    EXPECT_EQ(dd::Text(edit), package);

    // Download now checks the chosen package; it passes and the image paths are in the
    // dialog, and then the empty device list has nothing to update.
    dd::Click(window, IDOK);
    HWND noDevice = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, window); });
    ASSERT_NE(noDevice, nullptr);
    EXPECT_EQ(dd::ReadMessageBox(noDevice).text, L"No device is found!");
    const PreparedPackage& checked = dialog().CheckedPackage();
    EXPECT_NE(checked.programFile.find(L"program.bin"), std::wstring::npos)
        << "program: " << std::string(checked.programFile.begin(), checked.programFile.end());
    EXPECT_FALSE(checked.withBootloader);
    PostMessageW(noDevice, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(dd::WaitUntil([&] { return !IsWindow(noDevice); }));

    CloseWithEsc(window);
  });
}

// ---- closing ---------------------------------------------------------------------------

class DialogCloseTest : public DialogFixture {};

TEST_F(DialogCloseTest, EscClosesAtOnceUnlessTheWorkerRuns) {
  const INT_PTR result = RunDialog([&](HWND window) {
    // While a worker runs the dialog stays; the round trip of WM_NULL lets a close happen.
    dialog().SetUpdateRunning(true);  // as from the hand-over to the worker's last step
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageW(window, WM_NULL, 0, 0);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(Closed());

    dialog().SetUpdateRunning(false);
    CloseWithEsc(window);
  });
  EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
