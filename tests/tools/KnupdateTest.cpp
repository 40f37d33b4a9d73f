// knupdate's one-instrument update, its list, its history and its usage, as its users run it.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "history/UpdateHistory.h"
#include "procedure/ProcedureTexts.h"
#include "signing/SigningTexts.h"
#include "tests/tools/KnupdateFixture.h"

namespace {

using knupdate_testing::Lines;
using knupdate_testing::TextLines;
using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::PatternBytes;
using testing_support::ProgramRun;

using KnupdateTest = knupdate_testing::KnupdateFixture;

TEST_F(KnupdateTest, ListsTheInstrumentsAsTheDialogDoes) {
  const ProgramRun run = Knupdate(L"list");
  EXPECT_EQ(run.exitCode, 0u);
  // Each with its mode and its serial number (none in a loader).
  EXPECT_EQ(run.output, "Device 0: TW 3xx\tapplication\ttw\nDevice 1: QM 5xx\tapplication\tqm\nDevice 2: VX 5xx\tDFU\t\n");
}

// Every text the dialog would show, in the dialog's order, with the progress of each pass,
// then the record in the history.
struct Delivery {
  const char* name;
  const wchar_t* notifications;
};

class KnupdateDeliveryTest : public KnupdateTest, public testing::WithParamInterface<Delivery> {};

// Whether the library sends its notifications or posts them, the lines come in the dialog's order.
TEST_P(KnupdateDeliveryTest, UpdatesAnInstrumentAndRecordsIt) {
  ASSERT_TRUE(bench().WriteString(sim::Bench::kBenchSection, L"notifications", GetParam().notifications));
  const std::wstring package = MakePackage(true);
  const ProgramRun run = Knupdate(L"update --package \"" + package + L"\" --device \"TW 3xx\" --yes");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_THAT(TextLines(run.output),
              ElementsAre("Bootloader update may make the device unusable if the updating is interrupted!",
                          "Please keep updating process uninterrupted and device powered to ensure a succesful result.",
                          "unsigned", "Check device status", "Wait DFU driver ready!", "Bootloader file downloading!",
                          "Bootloader file verifying!", "Data file downloading!", "Data file verifying!",
                          "Media file downloading!", "Media file verifying!", "Program file downloading!",
                          "Program file verifying!", "Updated successfully!"));
  EXPECT_THAT(run.output, HasSubstr("Program file verifying!\n  10%\n"));
  EXPECT_THAT(run.output, HasSubstr("  100%\nUpdated successfully!\n"));

  const std::vector<std::string> history = HistoryLines();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_THAT(history[0], HasSubstr(",Device 0: TW 3xx," + ToUtf8(package) + ",TW 3xx,"));
  EXPECT_THAT(history[0], HasSubstr(",Updated successfully!,"));

  const ProgramRun shown = Knupdate(L"history");
  EXPECT_EQ(shown.exitCode, 0u);
  EXPECT_EQ(Lines(shown.output).back(), history.back());
  // The header this history began with: a history begun by an older updater has one column
  // less, and stays readable as it is.
  EXPECT_EQ(Lines(shown.output).front().rfind("started_utc,device,package,device_type,", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Notifications, KnupdateDeliveryTest,
                         testing::Values(Delivery{"Sent", L"sent"}, Delivery{"Posted", L"posted"}),
                         [](const testing::TestParamInfo<Delivery>& info) { return std::string(info.param.name); });

// While the firmware is written, Windows asking whether the session may end gets a no from the
// console updater's hidden window; before the first write there is no such window.
TEST_F(KnupdateTest, TheSessionCannotEndWhileFirmwareIsWritten) {
  // Paced, so the writes last long enough to be asked during them.
  ASSERT_TRUE(testing_support::SaveDefaultInstruments(bench(), {sim::Bench::NowMs() - 60000, 300, 40000}));
  const std::wstring package = MakePackage(false);
  EXPECT_EQ(FindWindowW(L"KnUpdateSessionGuard", nullptr), nullptr);
  ProgramRun run;
  std::thread updater([&] { run = Knupdate(L"update --package \"" + package + L"\" --device \"TW 3xx\""); });
  HWND guard = nullptr;
  for (int i = 0; i < 3000 && guard == nullptr; ++i) {
    guard = FindWindowW(L"KnUpdateSessionGuard", nullptr);
    if (guard == nullptr) Sleep(10);
  }
  DWORD_PTR answer = 1;
  const LRESULT sent = guard != nullptr ? SendMessageTimeoutW(guard, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                                              SMTO_NORMAL, 5000, &answer)
                                        : 0;
  updater.join();
  ASSERT_NE(guard, nullptr) << "no window guarded the session during the writes";
  EXPECT_NE(sent, 0);
  EXPECT_EQ(answer, 0u) << "the session's end was not refused";
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(Lines(run.output).back(), "Updated successfully!");
}

// With a trusted maker's key beside the program, the console says who signed the package after
// its check, and the history records it; an unsigned package is refused before anything else.
TEST_F(KnupdateTest, SaysWhoSignedThePackageAndRecordsIt) {
  const std::wstring program = testing_support::CommandLineOption(L"knupdate");
  testing_support::TrustedMaker maker(L"Maker A", program.substr(0, program.find_last_of(L'\\') + 1) + L"trusted-keys.txt");
  ASSERT_TRUE(maker.ready());
  const std::wstring package = MakePackage(false);

  const ProgramRun unsigned_ = Knupdate(L"update --package \"" + package + L"\" --device \"TW 3xx\"");
  EXPECT_EQ(unsigned_.exitCode, 1u);
  EXPECT_THAT(TextLines(unsigned_.output), ElementsAre(ToUtf8(texts::kNotSigned)));

  ASSERT_TRUE(maker.Sign(package));
  const ProgramRun run = Knupdate(L"update --package \"" + package + L"\" --device \"TW 3xx\"");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  ASSERT_GE(TextLines(run.output).size(), 2u);
  EXPECT_EQ(TextLines(run.output)[0], "signed by Maker A");
  EXPECT_EQ(TextLines(run.output).back(), "Updated successfully!");
  const std::vector<std::string> history = HistoryLines();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(knupdate_testing::Field(history[0], knupdate_testing::kSignerField), "Maker A");
}

struct Failure {
  const char* name;
  const wchar_t* key;
  const wchar_t* value;
  const char* lastLine;
};

class KnupdateFailureTest : public KnupdateTest, public testing::WithParamInterface<Failure> {};

TEST_P(KnupdateFailureTest, EndsWithTheTextAndExitCodeOne) {
  ASSERT_TRUE(bench().WriteString(sim::Bench::InstrumentSection(L"tw"), GetParam().key, GetParam().value));
  const ProgramRun run = Knupdate(L"update --package \"" + MakePackage(false) + L"\" --device 0");
  EXPECT_EQ(run.exitCode, 1u) << run.output;
  EXPECT_EQ(TextLines(run.output).back(), GetParam().lastLine) << run.output;
  const std::vector<std::string> history = HistoryLines();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_THAT(history[0], HasSubstr(std::string(",") + GetParam().lastLine + ","));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, KnupdateFailureTest,
    testing::Values(Failure{"Preparation", L"fault.identify", L"short", "Get device info failed!"},
                    Failure{"Write", L"fault.nand.verifyFailure", L"1",
                            "Verify media file failed. Please restart the update!"}),
    [](const testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

// The bootloader warning needs a yes: typed, or --yes in advance. Anything else stops the
// update before anything is written.
TEST_F(KnupdateTest, TheBootloaderWarningNeedsAYes) {
  const std::wstring package = MakePackage(true);
  const ProgramRun declined = Knupdate(L"update --package \"" + package + L"\" --device TW", "n\r\n");
  EXPECT_EQ(declined.exitCode, 1u) << declined.output;
  EXPECT_THAT(declined.output, HasSubstr("Type y and Enter to go on:\n"));
  EXPECT_EQ(TextLines(declined.output).back(), ToUtf8(texts::kStopped));
  std::string flash(0x800, '\0');
  ASSERT_TRUE(bench().ReadMemory(L"tw", sim::Memory::kFlash, 0, reinterpret_cast<std::uint8_t*>(&flash[0]), 0x800));
  EXPECT_EQ(flash, std::string(0x800, '\xFF')) << "nothing written";

  const ProgramRun typed = Knupdate(L"update --package \"" + package + L"\" --device TW", "y\r\n");
  EXPECT_EQ(typed.exitCode, 0u) << typed.output;
  EXPECT_EQ(TextLines(typed.output).back(), "Updated successfully!");
}

// A record that cannot be written (here the history's place is taken by a folder) is never
// lost in silence: the line after the final message, and exit code 3 for an update that
// succeeded (1 for one that failed, as ever).
TEST_F(KnupdateTest, ARecordThatCannotBeWrittenIsToldWithExitCodeThree) {
  ASSERT_TRUE(CreateDirectoryW(HistoryFile().c_str(), nullptr));
  const ProgramRun updated = Knupdate(L"update --package \"" + MakePackage(false) + L"\" --device 0");
  EXPECT_EQ(updated.exitCode, 3u) << updated.output;
  const std::vector<std::string> lines = TextLines(updated.output);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Updated successfully!");
  EXPECT_EQ(lines.back(), "The update history could not be written!");

  ASSERT_TRUE(bench().WriteString(sim::Bench::InstrumentSection(L"qm"), L"fault.identify", L"short"));
  const ProgramRun failed = Knupdate(L"update --package \"" + MakePackage(false) + L"\" --device QM");
  EXPECT_EQ(failed.exitCode, 1u) << failed.output;
  EXPECT_EQ(TextLines(failed.output).back(), "The update history could not be written!");
}

// Where the dialog ends without a word (a package of a device type of no family the updater
// knows), the console says so in one line.
TEST_F(KnupdateTest, APackageOfAnUnknownDeviceTypeIsToldInALine) {
  testing_support::PackageImages images;
  images.program = PatternBytes(0x8000, 1);
  images.media = PatternBytes(0x2000, 2);
  images.data = PatternBytes(0x100, 3);
  images.deviceType = "VX 3xx";
  const std::wstring package = testing_support::BuildPackage(m_scratch.Path(), images);
  const ProgramRun run = Knupdate(L"update --package \"" + package + L"\" --device 0");
  EXPECT_EQ(run.exitCode, 1u) << run.output;
  EXPECT_EQ(TextLines(run.output).back(), "The file is for a device type the updater does not know!");
  ASSERT_EQ(HistoryLines().size(), 1u) << "the ending is recorded as the dialog's is";
}

// A record whose entry carries a line break (a package's device type can) is shown as one line,
// the break escaped: it never forges a line of its own.
TEST_F(KnupdateTest, TheHistoryShowsEachRecordAsOneLine) {
  HistoryRecord record;
  record.startedUtc = L"2026-12-10T15:04:05Z";
  record.entry = L"Device 0: TW 3xx";
  record.deviceType = L"TW 3xx\r\nDevice 3: TW 3xx: Updated successfully!";
  record.result = L"The file is not for the selected device!";
  ASSERT_TRUE(AppendHistoryRecord(HistoryFile(), record));
  const ProgramRun shown = Knupdate(L"history");
  EXPECT_EQ(shown.exitCode, 0u);
  const std::vector<std::string> lines = Lines(shown.output);
  ASSERT_EQ(lines.size(), 2u) << shown.output;  // the header and the record
  EXPECT_THAT(lines[1], HasSubstr("TW 3xx\\r\\nDevice 3: TW 3xx: Updated successfully!"));
}

TEST_F(KnupdateTest, ADeviceMustNameOneInstrument) {
  const std::wstring package = L"--package \"" + MakePackage(false) + L"\"";
  const ProgramRun several = Knupdate(L"update " + package + L" --device xx");
  EXPECT_EQ(several.exitCode, 2u);
  EXPECT_THAT(several.output, HasSubstr("More than one instrument is listed as xx; name one of them:\n"
                                        "  Device 0: TW 3xx\n  Device 1: QM 5xx\n  Device 2: VX 5xx\n"));
  // An instrument that is not attached is a failure, not a wrong use.
  const ProgramRun none = Knupdate(L"update " + package + L" --device 7");
  EXPECT_EQ(none.exitCode, 1u);
  EXPECT_THAT(none.output, HasSubstr("No instrument is listed as 7."));
  EXPECT_TRUE(HistoryLines().empty()) << "nothing was tried";
}

TEST_F(KnupdateTest, WrongUsageExitsWithTwo) {
  for (const wchar_t* args : {L"", L"frobnicate", L"list extra", L"update", L"update --package p.kn",
                              L"update --device 0", L"update --package p.kn --device 0 --force",
                              L"update --package p.kn --device"}) {
    const ProgramRun run = Knupdate(args);
    EXPECT_EQ(run.exitCode, 2u) << testing::PrintToString(std::wstring(args));
    EXPECT_THAT(run.output, HasSubstr("usage: knupdate list")) << testing::PrintToString(std::wstring(args));
  }
}

// The help is made from the command table: every form with its usage, each followed by what
// it does; the usage a wrong use prints names the same forms.
TEST_F(KnupdateTest, HelpNamesEveryFormTheUsageNames) {
  const ProgramRun help = Knupdate(L"help");
  EXPECT_EQ(help.exitCode, 0u);
  const ProgramRun usage = Knupdate(L"frobnicate");
  std::vector<std::string> forms;
  for (std::string line : Lines(usage.output)) {
    const std::size_t at = line.find("knupdate ");
    if (at != std::string::npos) forms.push_back(line.substr(at));
  }
  EXPECT_THAT(forms, testing::Contains("knupdate update --package FILE --device N|TEXT [--yes]"));
  EXPECT_THAT(forms, testing::Contains("knupdate station --package FILE [--yes]"));
  const std::vector<std::string> helpLines = Lines(help.output);
  for (const std::string& form : forms) {
    const auto found = std::find(helpLines.begin(), helpLines.end(), form);
    ASSERT_NE(found, helpLines.end()) << form;
    ASSERT_NE(found + 1, helpLines.end()) << form;
    EXPECT_EQ((found + 1)->rfind("    ", 0), 0u) << "no help under " << form;
  }
}

}  // namespace
