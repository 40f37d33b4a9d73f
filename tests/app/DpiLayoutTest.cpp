// The dialog at the display scaling Windows is set to (run by check-dpi.sh at 100%, 150% and
// 200%): the program sees that DPI, every control lies whole inside the dialog and inside the
// group box that frames it, and a screenshot is saved for a person to look at. The dialog's
// size in pixels goes to a report, which the script compares across the scalings.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sim/operator/DialogDriver.h"
#include "sim/operator/ScreenCapture.h"
#include "tests/app/DialogFixture.h"
#include "tests/support/TestFiles.h"

namespace {

namespace dd = dialog_driver;

RECT ClientRectOf(HWND dialog, int id) {
  RECT rect = {};
  HWND control = GetDlgItem(dialog, id);
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// The group box whose caption is text, in dialog coordinates.
RECT GroupBox(HWND dialog, const wchar_t* text) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (dd::Text(child) == text) {
      RECT rect = {};
      GetWindowRect(child, &rect);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
      return rect;
    }
  }
  ADD_FAILURE() << "no group box " << dd::Printable(text);
  return RECT{};
}

class DpiLayoutTest : public DialogFixture {};

TEST_F(DpiLayoutTest, TheDialogLaysOutAtTheSystemsScaling) {
  const int expectedDpi = std::stoi(testing_support::CommandLineOption(L"dpi"));
  RunDialog([&](HWND window) {
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), expectedDpi) << "the scaling was not set";
    ReleaseDC(nullptr, screen);

    RECT client = {};
    GetClientRect(window, &client);
    const int controls[] = {IDC_DEVICE_LIST, IDC_FILE_PATH, IDC_SELECT, IDOK, IDC_STATUS, IDC_PROGRESS};
    for (int id : controls) EXPECT_TRUE(Inside(ClientRectOf(window, id), client)) << "control " << id;
    const RECT device = GroupBox(window, L"Select device");
    const RECT firmware = GroupBox(window, L"Select firmware");
    EXPECT_TRUE(Inside(ClientRectOf(window, IDC_DEVICE_LIST), device));
    EXPECT_TRUE(Inside(ClientRectOf(window, IDC_FILE_PATH), firmware));
    EXPECT_TRUE(Inside(ClientRectOf(window, IDC_SELECT), firmware));
    EXPECT_TRUE(Inside(ClientRectOf(window, IDC_PROGRESS), ClientRectOf(window, IDC_STATUS)));
    // Download stays clear of the status box it sits beside.
    RECT overlap = {};
    const RECT download = ClientRectOf(window, IDOK), status = ClientRectOf(window, IDC_STATUS);
    EXPECT_FALSE(IntersectRect(&overlap, &download, &status));
    // The text of the buttons fits them.
    HWND select = GetDlgItem(window, IDC_SELECT);
    HDC dc = GetDC(select);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(select, WM_GETFONT, 0, 0)));
    SIZE text = {};
    GetTextExtentPoint32W(dc, L"Download", 8, &text);
    SelectObject(dc, old);
    ReleaseDC(select, dc);
    EXPECT_LT(text.cx, download.right - download.left) << "\"Download\" is cut off";

    SetForegroundWindow(window);
    Sleep(300);  // painted
    const std::wstring screenshot = testing_support::CommandLineOption(L"screenshot");
    if (!screenshot.empty()) {
      EXPECT_TRUE(SaveScreenAsBitmap(screenshot));
    }
    FILE* report = _wfopen(testing_support::CommandLineOption(L"report").c_str(), L"a");
    ASSERT_NE(report, nullptr);
    std::fprintf(report, "%d %ld %ld\n", expectedDpi, client.right - client.left, client.bottom - client.top);
    std::fclose(report);
    CloseWithEsc(window);
  });
}

}  // namespace
