// The whole update through the real dialog on a virtual bench: the dialog runs modally on the
// test's thread with the bench's USB driver simulation and our kndfu.dll, the worker is a
// real thread, and a second thread works with the dialog as a technician would.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/QM_TWBootloaderDlg.h"
#include "history/UpdateHistory.h"
#include "procedure/ProcedureTexts.h"
#include "procedure/WorkstationUpdateMark.h"
#include "records/CentralRecords.h"
#include "records/Outbox.h"
#include "records/UpdateRecordKeeping.h"
#include "signing/TrustedKeys.h"
#include "sim/bench/TemporaryBench.h"
#include "sim/operator/DialogDriver.h"
#include "sim/usb/UsbDriverSimulation.h"
#include "tests/app/DialogFixture.h"
#include "tests/support/BenchFixtures.h"
#include "tests/support/TestFiles.h"
#include "tools/knpack/PackageWriter.h"
#include "usbio/DeviceSetupLibrary.h"
#include "usbio/UsbSystemPort.h"

namespace dd = dialog_driver;

namespace {

using testing::ElementsAre;

// What a technician saw until a message box with `last` came up: the status captions in the
// order they showed, every message box (all but the last answered with OK), and whether the
// inputs were disabled while the firmware was written.
struct Watched {
  std::vector<std::wstring> statuses;
  std::vector<std::wstring> boxes;
  HWND lastBox = nullptr;
  bool inputsDisabledWhileWriting = false;
};

Watched WatchUntilBox(HWND dialog, const std::wstring& last) {
  const DWORD pid = GetCurrentProcessId();
  HWND status = GetDlgItem(dialog, IDC_STATUS);
  Watched watched;
  const bool seen = dd::WaitUntil(
      [&] {
        if (HWND box = dd::FindDialog(pid, nullptr, dialog)) {
          const std::wstring text = dd::ReadMessageBox(box).text;
          if (box != watched.lastBox) watched.boxes.push_back(text);
          watched.lastBox = box;
          if (text == last) return true;
          PostMessageW(box, WM_COMMAND, IDOK, 0);
          dd::WaitUntil([&] { return !IsWindow(box); });
          return false;
        }
        if (IsWindowVisible(status)) {
          const std::wstring caption = dd::Text(status);
          if (watched.statuses.empty() || watched.statuses.back() != caption) watched.statuses.push_back(caption);
          if (caption.find(L"downloading!") != std::wstring::npos &&
              !IsWindowEnabled(GetDlgItem(dialog, IDC_DEVICE_LIST)) && !IsWindowEnabled(GetDlgItem(dialog, IDOK))) {
            watched.inputsDisabledWhileWriting = true;
          }
        }
        return false;
      },
      120000);
  if (!seen) watched.lastBox = nullptr;
  return watched;
}

void Answer(HWND box) {
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  dd::WaitUntil([&] { return !IsWindow(box); });
}

bool InputsEnabled(HWND dialog) {
  for (int id : {IDC_SELECT, IDOK, IDC_FILE_PATH, IDC_DEVICE_LIST}) {
    if (!IsWindowEnabled(GetDlgItem(dialog, id))) return false;
  }
  return true;
}

// True when `expected` appears in `seen` in this order, with anything in between.
bool InOrder(const std::vector<std::wstring>& seen, const std::vector<std::wstring>& expected) {
  auto at = seen.begin();
  for (const std::wstring& text : expected) {
    at = std::find(at, seen.end(), text);
    if (at == seen.end()) return false;
    ++at;
  }
  return true;
}

// The taskbar calls, as the dialog makes them, with the thread that made each.
class RecordingTaskbar : public TaskbarProgress {
 public:
  void SetState(HWND, TaskbarState state) override {
    Note(state == TaskbarState::kNone ? L"none" : state == TaskbarState::kNormal ? L"normal" : L"error");
  }
  void SetValue(HWND, ULONGLONG done, ULONGLONG total) override {
    if (done > total) overshoot = true;
    Note(L"value");
  }
  // The states set, in order, with the values in between left out.
  std::vector<std::wstring> States() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::wstring> states;
    for (const std::wstring& call : m_calls) {
      if (call != L"value" && (states.empty() || states.back() != call)) states.push_back(call);
    }
    return states;
  }
  int Values() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(std::count(m_calls.begin(), m_calls.end(), L"value"));
  }
  bool overshoot = false;
  bool otherThread = false;

 private:
  void Note(const wchar_t* call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (GetCurrentThreadId() != m_thread) otherThread = true;
    m_calls.push_back(call);
  }
  std::mutex m_mutex;
  std::vector<std::wstring> m_calls;
  const DWORD m_thread = GetCurrentThreadId();  // made on the dialog's thread
};

const std::vector<std::wstring> kDefaultList = {L"Device 0: TW 3xx\n", L"Device 1: QM 5xx\n", L"Device 2: VX 5xx\n"};

std::string LastHistoryLine() {
  const std::string text = testing_support::ReadFileBytes(HistoryFilePath());
  const std::size_t end = text.rfind("\r\n");
  if (end == std::string::npos) return std::string();
  const std::size_t start = text.rfind("\r\n", end - 1);
  return text.substr(start == std::string::npos ? 0 : start + 2, end - (start == std::string::npos ? 0 : start + 2));
}

class DialogUpdateTest : public DialogFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_bench.created());
    ASSERT_TRUE(m_bench.Activate());
    // Slow enough for the captions of the program image to be seen.
    ASSERT_TRUE(testing_support::SaveDefaultInstruments(bench(), {sim::Bench::NowMs() - 60000, 1500, 200000}));
    // The status of the "TW 3xx" is ready at the third poll: two seconds of "Check device status".
    ASSERT_TRUE(bench().WriteInt(sim::Bench::InstrumentSection(L"tw"), L"statusReadyAfter", 3));
    m_simulation = std::make_unique<sim::UsbDriverSimulation>(bench());
    InstallUsbSystemPort(m_simulation.get());

    // A history of this test's own, not the test prefix user's; the bench's update mark.
    SetHistoryFileForTesting(m_scratch / L"history.csv");
    SetWorkstationUpdateMarkName(bench().UpdateMarkName());

    m_program = testing_support::PatternBytes(0x10000, 1);
    m_media = testing_support::PatternBytes(0x4000, 2);
    m_data = testing_support::PatternBytes(0x200, 3);
    m_bootloader = testing_support::PatternBytes(0x2000, 4);
  }

  void TearDown() override {
    SetCentralRecordsFileForTesting(std::wstring());
    SetHistoryFileForTesting(std::wstring());
    SetWorkstationUpdateMarkName(std::wstring());
    DeviceSetupLibrary().Release();
    InstallUsbSystemPort(nullptr);
  }

  sim::Bench& bench() { return m_bench.bench(); }

  // The dialog with `package` chosen, run until it is closed; `script` begins once the default
  // bench's instruments are listed.
  void RunWithPackage(const std::wstring& package, const std::function<void(HWND)>& script) {
    dialog().ChooseUpdateFile(package);
    RunDialog([&](HWND window) {
      ASSERT_TRUE(dd::WaitUntil([&] { return dd::ListEntries(GetDlgItem(window, IDC_DEVICE_LIST)) == kDefaultList; }));
      script(window);
    });
  }

  // A whole update of the "TW 3xx" through the dialog, and everything it must leave behind.
  void UpdateTheTw3xx();

  std::wstring MakePackage(bool withBootloader) {
    testing_support::PackageImages images;
    images.program = m_program;
    images.media = m_media;
    images.data = m_data;
    if (withBootloader) images.bootloader = m_bootloader;
    const std::wstring package = testing_support::BuildPackage(m_scratch.Path(), images);
    EXPECT_FALSE(package.empty());
    return package;
  }

  std::string Memory(const std::wstring& id, sim::Memory memory, std::uint32_t address, std::size_t length) {
    std::string bytes(length, '\0');
    EXPECT_TRUE(bench().ReadMemory(id, memory, address, reinterpret_cast<std::uint8_t*>(&bytes[0]),
                                   static_cast<std::uint32_t>(length)));
    return bytes;
  }

  // The "TW 3xx" holds the package: bootloader at 0, program body at A, its last sector at
  // T - S, data in the EEPROM, media in the NAND; the "VX 5xx" was not touched.
  void ExpectTheFirmwareWritten() {
    EXPECT_EQ(Memory(L"tw", sim::Memory::kFlash, 0, m_bootloader.size()), m_bootloader);
    EXPECT_EQ(Memory(L"tw", sim::Memory::kFlash, 0x4000, m_program.size() - 1024), m_program.substr(0, m_program.size() - 1024));
    EXPECT_EQ(Memory(L"tw", sim::Memory::kFlash, 0x40000 - 1024, 1024), m_program.substr(m_program.size() - 1024));
    EXPECT_EQ(Memory(L"tw", sim::Memory::kEeprom, 0, m_data.size()), m_data);
    EXPECT_EQ(Memory(L"tw", sim::Memory::kNand, 0, m_media.size()), m_media);
    EXPECT_EQ(Memory(L"vx", sim::Memory::kFlash, 0, 0x40000), std::string(0x40000, '\xFF'));
  }

  int TraceLinesWith(const std::string& part) {
    const std::string trace = testing_support::ReadFileBytes(bench().TracePath());
    int count = 0;
    for (std::size_t at = trace.find(part); at != std::string::npos; at = trace.find(part, at + 1)) ++count;
    return count;
  }

  sim::TemporaryBench m_bench;
  std::unique_ptr<sim::UsbDriverSimulation> m_simulation;
  testing_support::ScratchDirectory m_scratch;
  std::string m_program, m_media, m_data, m_bootloader;
  // The dialog's taskbar button, for the tests that give it to the dialog.
  RecordingTaskbar m_taskbar;
};

// Answers the boxes up to "Updated successfully!" and waits until the dialog is given back.
void AwaitSuccessAndGiveBack(HWND window) {
  const Watched watched = WatchUntilBox(window, L"Updated successfully!");
  ASSERT_NE(watched.lastBox, nullptr);
  Answer(watched.lastBox);
  EXPECT_TRUE(dd::WaitUntil([&] { return InputsEnabled(window); }));
}

void DialogUpdateTest::UpdateTheTw3xx() {
  dialog().UseTaskbarProgress(&m_taskbar);
  RunWithPackage(MakePackage(true), [&](HWND window) {
    HWND list = GetDlgItem(window, IDC_DEVICE_LIST);
    dd::ClickListEntry(list, 0);
    dd::Click(window, IDOK);

    const Watched watched = WatchUntilBox(window, L"Updated successfully!");
    ASSERT_NE(watched.lastBox, nullptr) << "no final message";
    EXPECT_THAT(watched.boxes, ElementsAre(std::wstring(L"Bootloader update may make the device unusable if the updating "
                                                        L"is interrupted!\r\nPlease keep updating process uninterrupted "
                                                        L"and device powered to ensure a succesful result."),
                                           L"Updated successfully!"));
    EXPECT_TRUE(InOrder(watched.statuses, {L"Check device status", L"Wait DFU driver ready!",
                                           L"Program file downloading!", L"Program file verifying!"}))
        << dd::Printable(watched.statuses.empty() ? L"" : watched.statuses.back());
    EXPECT_TRUE(watched.inputsDisabledWhileWriting);
    // The report comes before the dialog is given back, and closing waits for the worker.
    EXPECT_FALSE(InputsEnabled(window));
    EXPECT_EQ(dd::ReadMessageBox(watched.lastBox).owner, window);
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(window));
    Answer(watched.lastBox);

    EXPECT_TRUE(dd::WaitUntil([&] { return InputsEnabled(window); }));
    // The list is refreshed again every second: the instrument returns in application mode.
    EXPECT_TRUE(dd::WaitUntil([&] { return dd::ListEntries(list) == kDefaultList; }, 10000))
        << dd::Printable(dd::ListEntries(list).empty() ? L"" : dd::ListEntries(list).front());
    CloseWithEsc(window);
  });
  ExpectTheFirmwareWritten();
  EXPECT_EQ(TraceLinesWith("DFU close id=tw flag=1 rc=0"), 1);
  // The taskbar button: the bar's progress during the passes, nothing when idle again.
  // The bar comes and goes with each pass; idle again, nothing.
  const std::vector<std::wstring> states = m_taskbar.States();
  ASSERT_GE(states.size(), 3u);
  EXPECT_EQ(states.front(), L"none");
  EXPECT_EQ(states[1], L"normal");
  EXPECT_EQ(states.back(), L"none");
  EXPECT_EQ(std::count(states.begin(), states.end(), L"error"), 0);
  EXPECT_GT(m_taskbar.Values(), 10);
  EXPECT_FALSE(m_taskbar.overshoot);
  EXPECT_FALSE(m_taskbar.otherThread) << "taskbar calls belong to the dialog's thread";
  // The history has the update.
  EXPECT_THAT(LastHistoryLine(), testing::HasSubstr(",Device 0: TW 3xx,"));
  EXPECT_THAT(LastHistoryLine(), testing::HasSubstr(",Updated successfully!,"));
}

TEST_F(DialogUpdateTest, DownloadUpdatesTheSelectedInstrument) { UpdateTheTw3xx(); }

// The department's database cannot be reached (nothing listens on its port): each update
// still reports its success, its record waits in the outbox, and the status box says so once
// per start, after the first update, not after the second.
TEST_F(DialogUpdateTest, AFailedSendIsToldOnceInTheStatusBoxAndTheUpdateSucceeds) {
  const std::wstring setting = m_scratch / L"central-records.txt";
  ASSERT_TRUE(testing_support::WriteFileBytes(
      setting, "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=none;Uid=none;Pwd=none;\r\n"));
  SetCentralRecordsFileForTesting(setting);
  // Written by every send that fails, after the update's final message.
  const std::wstring failureNote = m_scratch / L"outbox-failure.txt";
  RunWithPackage(MakePackage(false), [&](HWND window) {
    HWND list = GetDlgItem(window, IDC_DEVICE_LIST);
    HWND status = GetDlgItem(window, IDC_STATUS);
    const auto toldNotSent = [&] { return IsWindowVisible(status) && dd::Text(status) == kRecordNotSent; };
    for (int update = 0; update < 2; ++update) {
      ASSERT_TRUE(dd::WaitUntil([&] { return dd::ListEntries(list) == kDefaultList; }, 10000));
      DeleteFileW(failureNote.c_str());
      dd::ClickListEntry(list, 0);
      dd::Click(window, IDOK);
      AwaitSuccessAndGiveBack(window);
      ASSERT_TRUE(dd::WaitUntil([&] { return GetFileAttributesW(failureNote.c_str()) != INVALID_FILE_ATTRIBUTES; }));
      if (update == 0) {
        EXPECT_TRUE(dd::WaitUntil(toldNotSent));
      } else {
        // The send's note is posted to the dialog after the failure is written: given time
        // to arrive, it must not bring the text back.
        dd::WaitUntil([] { return false; }, 1000);
        EXPECT_FALSE(toldNotSent());
      }
    }
    CloseWithEsc(window);
  });
  const std::string history = testing_support::ReadFileBytes(HistoryFilePath());
  std::size_t succeeded = 0;
  for (std::size_t at = history.find(",Updated successfully!,"); at != std::string::npos;
       at = history.find(",Updated successfully!,", at + 1)) {
    ++succeeded;
  }
  EXPECT_EQ(succeeded, 2u);
  std::vector<OutboxEntry> waiting;
  ASSERT_TRUE(Outbox(OutboxPath()).Read(waiting));
  EXPECT_EQ(waiting.size(), 2u);
}

// A library may post its notifications instead of sending them (our kndfu.dll does when the
// bench asks): the dialog shows the same.
TEST_F(DialogUpdateTest, DownloadUpdatesTheSelectedInstrumentWithPostedNotifications) {
  ASSERT_TRUE(bench().WriteString(sim::Bench::kBenchSection, L"notifications", L"posted"));
  UpdateTheTw3xx();
}

// A media image that does not verify: the update stops, the instrument stays in its loader,
// and a second "Download" on its DFU entry completes the update.
TEST_F(DialogUpdateTest, AFailedUpdateIsCompletedFromTheDfuEntry) {
  ASSERT_TRUE(bench().WriteInt(sim::Bench::InstrumentSection(L"tw"), L"fault.nand.verifyFailure", 1));
  dialog().UseTaskbarProgress(&m_taskbar);
  RunWithPackage(MakePackage(false), [&](HWND window) {
    HWND list = GetDlgItem(window, IDC_DEVICE_LIST);
    dd::Click(window, IDOK);
    Watched watched = WatchUntilBox(window, L"Verify media file failed. Please restart the update!");
    ASSERT_NE(watched.lastBox, nullptr);
    Answer(watched.lastBox);
    ASSERT_TRUE(dd::WaitUntil([&] { return InputsEnabled(window); }));
    EXPECT_EQ(m_taskbar.States().back(), L"error") << "red until the next Download";
    EXPECT_THAT(LastHistoryLine(), testing::HasSubstr(",Verify media file failed. Please restart the update!,"));

    const std::vector<std::wstring> inLoader = {L"Device 0: QM 5xx\n", L"Device 1: TW 3xx\n", L"Device 2: VX 5xx\n"};
    ASSERT_TRUE(dd::WaitUntil([&] { return dd::ListEntries(list) == inLoader; }, 10000));
    ASSERT_TRUE(bench().WriteInt(sim::Bench::InstrumentSection(L"tw"), L"fault.nand.verifyFailure", 0));
    dd::ClickListEntry(list, 1);
    ASSERT_TRUE(dd::WaitUntil([&] { return SendMessageW(list, LB_GETCURSEL, 0, 0) == 1; }));
    dd::Click(window, IDOK);
    watched = WatchUntilBox(window, L"Updated successfully!");
    ASSERT_NE(watched.lastBox, nullptr);
    EXPECT_THAT(watched.boxes, ElementsAre(L"Updated successfully!"));
    EXPECT_EQ(std::find(watched.statuses.begin(), watched.statuses.end(), L"Check device status"),
              watched.statuses.end())
        << "a DFU entry is not switched";
    Answer(watched.lastBox);
    EXPECT_TRUE(dd::WaitUntil([&] { return dd::ListEntries(list) == kDefaultList; }, 10000));
    CloseWithEsc(window);
  });
  m_bootloader.clear();
  ExpectTheFirmwareWritten();
  // Red after the failure until the second "Download", nothing once it has succeeded.
  const std::vector<std::wstring> states = m_taskbar.States();
  const auto red = std::find(states.begin(), states.end(), L"error");
  ASSERT_NE(red, states.end());
  EXPECT_EQ(std::count(states.begin(), states.end(), L"error"), 1);
  ASSERT_NE(red + 1, states.end());
  EXPECT_EQ(*(red + 1), L"none");
  EXPECT_EQ(states.back(), L"none");
  EXPECT_THAT(LastHistoryLine(), testing::HasSubstr(",Device 1: TW 3xx,"));
  EXPECT_EQ(TraceLinesWith("DFU write nand id=tw address=0x0 length=0x4000 verify=1 window=1 rc=-14"), 1);
  EXPECT_EQ(TraceLinesWith("DFU close id=tw flag=1 rc=0"), 1);
}

// During the preparation's waits the window is painted, but nothing else is handled: a second
// "Download", Esc and the refresh timer's ticks wait, and once the update runs the queued
// "Download" does nothing and Esc is refused.
TEST_F(DialogUpdateTest, ThePreparationPaintsButTakesNoInput) {
  RunWithPackage(MakePackage(false), [&](HWND window) {
    HWND list = GetDlgItem(window, IDC_DEVICE_LIST);
    HWND progress = GetDlgItem(window, IDC_PROGRESS);
    dd::Click(window, IDOK);
    ASSERT_TRUE(dd::WaitUntil([&] {
      return IsWindowVisible(progress) && dd::Text(GetDlgItem(window, IDC_STATUS)) == L"Check device status";
    }));

    // Painted while the status is polled, and again while the loader is awaited: an
    // invalidated bar is repainted at once, and the window answers.
    const auto expectPainted = [&] {
      InvalidateRect(progress, nullptr, TRUE);
      EXPECT_TRUE(dd::WaitUntil([&] { return !GetUpdateRect(progress, nullptr, FALSE); }, 800));
      DWORD_PTR ignored = 0;
      EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored), 0);
    };
    expectPainted();

    // Input and ticks stay queued: a second Download, Esc, and a new instrument the refresh
    // would list.
    dd::Click(window, IDOK);
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    sim::Instrument late = sim::MakeInstrument(L"late", L"VX 3xx", 4100, sim::Mode::kApplication);
    late.bus_address = 9;
    ASSERT_TRUE(bench().Save(late));
    ASSERT_TRUE(dd::WaitUntil([&] { return dd::Text(GetDlgItem(window, IDC_STATUS)) == L"Wait DFU driver ready!"; }));
    expectPainted();
    Sleep(1000);  // a tick at least, had ticks been handled
    EXPECT_EQ(dd::ListEntries(list), kDefaultList);

    const Watched watched = WatchUntilBox(window, L"Updated successfully!");
    ASSERT_NE(watched.lastBox, nullptr);
    EXPECT_THAT(watched.boxes, ElementsAre(L"Updated successfully!"));
    EXPECT_TRUE(IsWindow(window)) << "Esc was refused";
    Answer(watched.lastBox);
    EXPECT_TRUE(dd::WaitUntil([&] { return InputsEnabled(window); }));
    EXPECT_TRUE(dd::WaitUntil([&] { return dd::ListEntries(list).size() == 4; }, 10000));
    CloseWithEsc(window);
  });
  EXPECT_EQ(TraceLinesWith("OUT tw ep02 01 07 09 01 04"), 1) << "one switch, one update";
  EXPECT_EQ(TraceLinesWith("DFU close id=tw flag=1"), 1);
}

// With a trusted maker's key beside the updater, an unsigned package is refused before the
// instrument is touched, and the same package signed by that maker is written.
TEST_F(DialogUpdateTest, OnlyAPackageSignedByATrustedMakerIsWritten) {
  testing_support::TrustedMaker maker(L"Maker A", signing::TrustedKeysBesideProgram());
  ASSERT_TRUE(maker.ready());
  dialog().UseTaskbarProgress(&m_taskbar);
  const std::wstring package = MakePackage(false);
  RunWithPackage(package, [&](HWND window) {
    dd::Click(window, IDOK);
    const Watched refused = WatchUntilBox(window, L"The update file is not signed!");
    ASSERT_NE(refused.lastBox, nullptr);
    EXPECT_THAT(refused.boxes, ElementsAre(L"The update file is not signed!"));
    Answer(refused.lastBox);
    EXPECT_EQ(TraceLinesWith("OUT tw"), 0) << "the instrument was touched";
    // A refused package leaves no record, but the taskbar button shows the failure.
    EXPECT_TRUE(dd::WaitUntil([&] {
      const std::vector<std::wstring> states = m_taskbar.States();
      return !states.empty() && states.back() == L"error";
    })) << "the taskbar button shows no failure";

    ASSERT_TRUE(maker.Sign(package));
    dd::Click(window, IDOK);
    AwaitSuccessAndGiveBack(window);
    EXPECT_EQ(m_taskbar.States().back(), L"none");
    CloseWithEsc(window);
  });
  EXPECT_EQ(Memory(L"tw", sim::Memory::kFlash, 0x4000, m_program.size() - 1024), m_program.substr(0, m_program.size() - 1024));
  EXPECT_EQ(Memory(L"tw", sim::Memory::kNand, 0, m_media.size()), m_media);
  EXPECT_THAT(LastHistoryLine(), testing::EndsWith(",Maker A,tw")) << "the signer, then the serial";
}

// While another program on the workstation updates an instrument, "Download" says so and
// touches nothing; once that update has ended, the same "Download" goes through.
TEST_F(DialogUpdateTest, NothingIsSwitchedWhileAnotherProgramUpdates) {
  WorkstationUpdateMark elsewhere;
  ASSERT_TRUE(elsewhere.TryTake());
  RunWithPackage(MakePackage(false), [&](HWND window) {
    dd::Click(window, IDOK);
    const Watched refused = WatchUntilBox(window, texts::kAnotherProgramUpdating);
    ASSERT_NE(refused.lastBox, nullptr);
    EXPECT_THAT(refused.boxes, ElementsAre(texts::kAnotherProgramUpdating));
    Answer(refused.lastBox);
    EXPECT_TRUE(dd::WaitUntil([&] { return InputsEnabled(window); }));
    EXPECT_EQ(TraceLinesWith("OUT tw"), 0) << "the instrument was touched";
    // Recorded once the box is answered, as every preparation's ending.
    const std::string refusal = "," + ToUtf8(texts::kAnotherProgramUpdating) + ",";
    EXPECT_TRUE(dd::WaitUntil([&] { return LastHistoryLine().find(refusal) != std::string::npos; }))
        << LastHistoryLine();

    elsewhere.Release();
    dd::Click(window, IDOK);
    AwaitSuccessAndGiveBack(window);
    CloseWithEsc(window);
  });
  EXPECT_EQ(Memory(L"tw", sim::Memory::kNand, 0, m_media.size()), m_media);
}

// A history that cannot be written (a folder in its place, as a full or locked disk would
// refuse it) is told after the update's own final message.
TEST_F(DialogUpdateTest, ARecordThatCannotBeWrittenIsToldAfterTheFinalMessage) {
  SetHistoryFileForTesting(m_scratch.Path());
  RunWithPackage(MakePackage(false), [&](HWND window) {
    dd::Click(window, IDOK);
    const Watched watched = WatchUntilBox(window, texts::kHistoryNotWritten);
    ASSERT_NE(watched.lastBox, nullptr);
    EXPECT_THAT(watched.boxes, ElementsAre(texts::kUpdatedSuccessfully, texts::kHistoryNotWritten));
    Answer(watched.lastBox);
    EXPECT_TRUE(dd::WaitUntil([&] { return InputsEnabled(window); }));
    CloseWithEsc(window);
  });
  EXPECT_EQ(Memory(L"tw", sim::Memory::kNand, 0, m_media.size()), m_media);
}

// While the firmware is written, Windows asking whether the session may end (a logoff, a
// shutdown, a restart an installer asked for) gets a no; before and after, a yes.
TEST_F(DialogUpdateTest, TheSessionCannotEndWhileFirmwareIsWritten) {
  RunWithPackage(MakePackage(false), [&](HWND window) {
    const auto sessionMayEnd = [&](LPARAM reason) {
      DWORD_PTR answer = 0;
      EXPECT_NE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, reason, SMTO_NORMAL, 5000, &answer), 0);
      return answer != 0;
    };
    EXPECT_TRUE(sessionMayEnd(0));
    dd::Click(window, IDOK);
    ASSERT_TRUE(dd::WaitUntil([&] { return dd::Text(GetDlgItem(window, IDC_STATUS)) == L"Media file downloading!"; }));
    EXPECT_FALSE(sessionMayEnd(0)) << "shutdown";
    EXPECT_FALSE(sessionMayEnd(ENDSESSION_LOGOFF)) << "logoff";

    AwaitSuccessAndGiveBack(window);
    EXPECT_TRUE(dd::WaitUntil([&] { return !dialog().IsUpdateRunning(); }));
    EXPECT_TRUE(sessionMayEnd(0));
    CloseWithEsc(window);
  });
}

// A progress bar that advances only on a timer of its own, as a bar with visual styles animates
// its rise: it must go on rising while the preparation waits on the dialog's thread.
namespace ticking {

constexpr UINT kStartTicking = WM_APP + 40;
constexpr UINT_PTR kTimer = 77;
WNDPROC g_original = nullptr;
std::atomic<int> g_ticks{0};

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // A timer belongs to the thread of its window: it is set here, on the dialog's thread.
  if (message == kStartTicking) return SetTimer(window, kTimer, 20, nullptr) != 0;
  if (message == WM_TIMER && wParam == kTimer) {
    ++g_ticks;
    return 0;
  }
  return CallWindowProcW(g_original, window, message, wParam, lParam);
}

}  // namespace ticking

TEST_F(DialogUpdateTest, TheProgressBarsOwnTimersRunWhileThePreparationWaits) {
  RunWithPackage(MakePackage(false), [&](HWND window) {
    HWND progress = GetDlgItem(window, IDC_PROGRESS);
    ticking::g_original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(progress, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ticking::Procedure)));
    dd::Click(window, IDOK);
    ASSERT_TRUE(dd::WaitUntil([&] { return dd::Text(GetDlgItem(window, IDC_STATUS)) == L"Check device status"; }));
    ASSERT_NE(SendMessageW(progress, ticking::kStartTicking, 0, 0), 0);
    const int before = ticking::g_ticks;
    Sleep(1000);  // within the status poll's pauses
    EXPECT_GE(ticking::g_ticks - before, 10) << "the bar's own timer stood still";

    AwaitSuccessAndGiveBack(window);
    CloseWithEsc(window);
  });
}

// A second "Download" given while a preparation holds the dialog waits in the queue; when the
// preparation ends without a message box it must not start another one. A click afterwards does.
TEST_F(DialogUpdateTest, ADownloadQueuedDuringAFailedPreparationDoesNothing) {
  ASSERT_TRUE(bench().WriteString(sim::Bench::InstrumentSection(L"tw"), L"fault.identify", L"short"));
  RunWithPackage(MakePackage(false), [&](HWND window) {
    HWND list = GetDlgItem(window, IDC_DEVICE_LIST);
    HWND status = GetDlgItem(window, IDC_STATUS);
    dd::Click(window, IDOK);
    dd::Click(window, IDOK);
    dd::PressKey(list, VK_RETURN);
    ASSERT_TRUE(dd::WaitUntil([&] { return IsWindowVisible(status) && dd::Text(status) == L"Get device info failed!"; }));
    Sleep(1500);
    EXPECT_EQ(TraceLinesWith("OUT tw ep02 00 05 41 BA 00"), 1) << "one preparation, one identify";
    EXPECT_EQ(dd::FindDialog(GetCurrentProcessId(), nullptr, window), nullptr);

    dd::Click(window, IDOK);
    EXPECT_TRUE(dd::WaitUntil([&] { return TraceLinesWith("OUT tw ep02 00 05 41 BA 00") == 2; }));
    CloseWithEsc(window);
  });
}

}  // namespace
