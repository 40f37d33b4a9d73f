// knupdate for production lines, as its users run it: every instrument of a package's type at
// once, and a station that updates each instrument as it is plugged in, on a bench of the
// test's own whose instruments come and go while the program runs.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/Crc32.h"
#include "package/UpdateManifest.h"
#include "procedure/WorkstationUpdateMark.h"
#include "tests/tools/KnupdateFixture.h"
#include "tools/knpack/PackageWriter.h"

namespace {

using knupdate_testing::Field;
using knupdate_testing::kEntryField;
using knupdate_testing::kResultField;
using knupdate_testing::kUpdateTimeoutMs;
using knupdate_testing::Lines;
using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::PatternBytes;
using testing_support::ProgramRun;
using testing_support::RunningProgram;

const std::string kNext = "Plug in the next instrument (Ctrl+C or q ends the station).\n";
const std::string kSummary = "Summary (entries as listed when the run began):";

class ProductionLineTest : public knupdate_testing::KnupdateFixture {
 protected:
  // The station has started and asks for the first instrument.
  static bool StationReady(RunningProgram& station) {
    return station.started() && station.WaitForOutput("Station for TW 3xx: " + kNext, kUpdateTimeoutMs);
  }
};

// Every instrument of the package's type, the one waiting in its loader first (while it waits,
// none of its type can be switched); the others are left alone; one record each and a summary.
TEST_F(ProductionLineTest, AllUpdatesEveryInstrumentOfThePackagesType) {
  Plug(L"tw2");
  Plug(L"twloader", sim::Mode::kDfu);
  const ProgramRun run = Knupdate(L"update " + PackageArgument() + L" --all --yes");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_THAT(run.output, testing::StartsWith("unsigned\n")) << "the package is checked once";
  EXPECT_EQ(run.output.find("unsigned"), run.output.rfind("unsigned"));
  const std::vector<std::string> lines = Lines(run.output);
  const auto summary = std::find(lines.begin(), lines.end(), kSummary);
  ASSERT_NE(summary, lines.end()) << run.output;
  ASSERT_EQ(lines.end() - summary, 4);
  // The one in its loader first, then the others, each found where it is now.
  EXPECT_THAT(summary[1], testing::StartsWith("Device 4: TW 3xx\tUpdated successfully!\t")) << "a loader names no serial";
  EXPECT_THAT(summary[2], testing::StartsWith("Device 0: TW 3xx (serial tw)\tUpdated successfully!\t"));
  EXPECT_THAT(summary[3], testing::StartsWith("Device 2: TW 3xx (serial tw2)\tUpdated successfully!\t"));
  for (int i = 1; i <= 3; ++i) {
    EXPECT_THAT(summary[i], HasSubstr(": TW 3xx"));
    EXPECT_THAT(summary[i], testing::EndsWith(" s"));
  }
  for (const wchar_t* id : {L"tw", L"tw2", L"twloader"}) EXPECT_TRUE(Updated(id)) << testing::PrintToString(std::wstring(id));
  EXPECT_TRUE(Untouched(L"qm"));
  EXPECT_TRUE(Untouched(L"vx"));
  EXPECT_THAT(HistoryResults(), ElementsAre("Updated successfully!", "Updated successfully!", "Updated successfully!"));
}

// The first failure ends the run; --keep-going goes on to the others. Either way the exit code
// says that one failed.
TEST_F(ProductionLineTest, AllStopsAtTheFirstFailureUnlessToldToKeepGoing) {
  Plug(L"tw2");
  ASSERT_TRUE(bench().WriteString(sim::Bench::InstrumentSection(L"tw"), L"fault.identify", L"short"));
  const ProgramRun stopped = Knupdate(L"update " + PackageArgument() + L" --all --yes");
  EXPECT_EQ(stopped.exitCode, 1u) << stopped.output;
  EXPECT_THAT(stopped.output, HasSubstr(kSummary + "\nDevice 0: TW 3xx (serial tw)\tGet device info failed!\t"));
  EXPECT_THAT(stopped.output, HasSubstr(": TW 3xx (serial tw2)\tNot updated: the run ended at a failure.\t0.000 s\n"))
      << "the planned one left out is named";
  EXPECT_TRUE(Untouched(L"tw2"));
  EXPECT_THAT(HistoryResults(), ElementsAre("Get device info failed!"));

  const ProgramRun kept =
      Knupdate(L"update " + PackageArgument() + L" --all --yes --keep-going");
  EXPECT_EQ(kept.exitCode, 1u) << kept.output;
  EXPECT_THAT(kept.output, HasSubstr("Get device info failed!\t"));
  EXPECT_THAT(kept.output, HasSubstr(": TW 3xx (serial tw2)\tUpdated successfully!\t"));
  EXPECT_TRUE(Updated(L"tw2"));
  EXPECT_TRUE(Untouched(L"tw"));
  EXPECT_THAT(HistoryResults(), ElementsAre("Get device info failed!", "Get device info failed!", "Updated successfully!"));
}

// After a failure the list is renumbered while the run goes on: each row names its instrument
// as the run planned it, so two instruments never share a name in the summary.
TEST_F(ProductionLineTest, TheSummaryNamesEachInstrumentAsPlanned) {
  ASSERT_TRUE(bench().SetMode(L"tw", sim::Mode::kAbsent));
  ASSERT_TRUE(bench().SetMode(L"qm", sim::Mode::kAbsent));
  ASSERT_TRUE(bench().SetMode(L"vx", sim::Mode::kAbsent));
  // Fails in its loader and stays there, ahead of the other in the list that follows.
  Plug(L"first");
  ASSERT_TRUE(bench().WriteString(sim::Bench::InstrumentSection(L"first"), L"fault.nand.verifyFailure", L"1"));
  Plug(L"second");
  const ProgramRun run =
      Knupdate(L"update " + PackageArgument() + L" --all --yes --keep-going");
  EXPECT_EQ(run.exitCode, 1u) << run.output;
  const std::vector<std::string> lines = Lines(run.output);
  const auto summary = std::find(lines.begin(), lines.end(), kSummary);
  ASSERT_EQ(lines.end() - summary, 3) << run.output;
  EXPECT_THAT(summary[1], testing::StartsWith("Device 0: TW 3xx (serial first)\tVerify media file failed."));
  EXPECT_THAT(summary[2], testing::StartsWith("Device 1: TW 3xx (serial second)\t")) << "renamed after the list moved";
}

// An updated instrument that is slow to leave its loader is waited for: taken for another one
// waiting there, it would keep the next from being switched.
TEST_F(ProductionLineTest, AllWaitsUntilAnUpdatedInstrumentHasLeftItsLoader) {
  ASSERT_TRUE(bench().SetMode(L"tw", sim::Mode::kAbsent));
  Plug(L"tw1", sim::Mode::kApplication, SlowToLeaveItsLoader);
  Plug(L"tw2", sim::Mode::kApplication, SlowToLeaveItsLoader);
  const ProgramRun run = Knupdate(L"update " + PackageArgument() + L" --all --yes");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_TRUE(Updated(L"tw1"));
  EXPECT_TRUE(Updated(L"tw2"));
  EXPECT_THAT(HistoryResults(), ElementsAre("Updated successfully!", "Updated successfully!"));
}

// Instruments in their loader are taken in the loader's order, not in the list's (where
// "Device 10" comes before "Device 9"). Once one fails there, the others waiting cannot be told
// from it: they are named, not updated; and none of the type is switched while it waits.
TEST_F(ProductionLineTest, AllTakesTheLoaderInItsOwnOrderAndStopsThereAtAFailure) {
  for (int i = 0; i < 6; ++i) {
    Plug(L"other" + std::to_wstring(i), sim::Mode::kApplication, [](sim::Instrument& other) { other.product = L"QM 5xx"; });
  }
  Plug(L"first", sim::Mode::kDfu);   // Device 9
  Plug(L"second", sim::Mode::kDfu);  // Device 10
  sim::Instrument first;
  ASSERT_TRUE(bench().Load(L"first", &first));
  first.fault(sim::Operation::kEepromWrite).error_code = 7;
  ASSERT_TRUE(bench().Save(first));
  const ProgramRun run =
      Knupdate(L"update " + PackageArgument() + L" --all --yes --keep-going");
  EXPECT_EQ(run.exitCode, 1u) << run.output;
  const std::vector<std::string> lines = Lines(run.output);
  const auto summary = std::find(lines.begin(), lines.end(), kSummary);
  ASSERT_EQ(lines.end() - summary, 4) << run.output;
  EXPECT_THAT(summary[1], testing::StartsWith("Device 9: TW 3xx\tError "));
  EXPECT_THAT(summary[1], HasSubstr("reported during downloading data file!"));
  EXPECT_EQ(summary[2],
            "Device 10: TW 3xx\tNot updated: it cannot be told from another instrument of its type in the DFU loader."
            "\t0.000 s");
  EXPECT_THAT(summary[3], testing::StartsWith("Device 0: TW 3xx (serial tw)\tAnother instrument of this type is waiting in its "
                                              "DFU loader. Update it or unplug it first.\t"));
  EXPECT_TRUE(Untouched(L"second"));
  EXPECT_TRUE(Untouched(L"tw"));
  EXPECT_EQ(HistoryLines().size(), 2u) << "the two attempted";
}

// Without the DFU library no instrument waiting in its loader is seen, and every one switched
// would be stranded there: no form switches any.
TEST_F(ProductionLineTest, NoFormRunsWithoutTheDfuLibrary) {
  ASSERT_TRUE(bench().SetDfuDriver(sim::DfuDriver::kMissing));
  for (const wchar_t* form : {L"update --all ", L"station ", L"update --device 0 "}) {
    const ProgramRun run = Knupdate(form + PackageArgument() + L" --yes");
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("Please install the DFU driver at first!\n")) << run.output;
  }
  EXPECT_TRUE(Untouched(L"tw"));
  EXPECT_TRUE(HistoryLines().empty());
}

TEST_F(ProductionLineTest, AllWithNoInstrumentForThePackageIsAFailure) {
  testing_support::PackageImages other = m_images;
  other.deviceType = "TW 9xx";
  testing_support::ScratchDirectory folder;
  const std::wstring package = testing_support::BuildPackage(folder.Path(), other);
  const ProgramRun run =
      Knupdate(L"update --package \"" + package + L"\" --all --yes");
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_THAT(run.output, HasSubstr("No instrument for this package is listed.\n"));
  EXPECT_TRUE(HistoryLines().empty());
}

TEST_F(ProductionLineTest, WrongUsageExitsWithTwo) {
  for (const wchar_t* args : {L"update --package p.kn --all --device 0", L"update --package p.kn --device 0 --keep-going",
                              L"update --all", L"station", L"station --package p.kn --all",
                              L"station --package p.kn --device 0", L"station --package p.kn --keep-going"}) {
    const ProgramRun run = Knupdate(args);
    EXPECT_EQ(run.exitCode, 2u) << testing::PrintToString(std::wstring(args));
    EXPECT_THAT(run.output, HasSubstr("usage: knupdate list")) << testing::PrintToString(std::wstring(args));
  }
}

// A station while three instruments are plugged in one after another, one of them with a
// fault and one slow to leave its loader: each is updated once, the failed one is not tried again while it stays plugged in,
// and the station ends with its summary (by a typed q: Ctrl+C takes the same way, see
// RunConsoleEventTest, but cannot be sent to a program on this bench).
TEST_F(ProductionLineTest, AStationUpdatesEachInstrumentAsItIsPluggedIn) {
  ASSERT_TRUE(bench().SetMode(L"tw", sim::Mode::kAbsent));
  RunningProgram station(KnupdateCommand() + L"station " + PackageArgument() + L" --yes");
  ASSERT_TRUE(StationReady(station)) << station.Output();

  Plug(L"first", sim::Mode::kApplication, SlowToLeaveItsLoader);
  ASSERT_TRUE(station.WaitForOutput(kNext, kUpdateTimeoutMs, 2)) << station.Output();
  // The fault first: the station may look at the instrument as soon as it is plugged in.
  ASSERT_TRUE(bench().WriteString(sim::Bench::InstrumentSection(L"faulty"), L"fault.identify", L"short"));
  Plug(L"faulty");
  ASSERT_TRUE(station.WaitForOutput(kNext, kUpdateTimeoutMs, 3)) << station.Output();
  Sleep(3000);  // three refreshes with the failed one still plugged in
  Plug(L"third");
  ASSERT_TRUE(station.WaitForOutput(kNext, kUpdateTimeoutMs, 4)) << station.Output();
  Sleep(2000);  // and the updated ones back in application mode, still plugged in

  ASSERT_TRUE(station.Type("q\n"));
  EXPECT_EQ(station.WaitForExit(kUpdateTimeoutMs), 1u) << "one failed";
  const std::string output = station.Output();
  EXPECT_THAT(output, testing::Not(HasSubstr("waits in its DFU loader"))) << "the updated one taken for another";
  EXPECT_THAT(output, HasSubstr("Updating Device 1: TW 3xx (serial first).\n"));
  EXPECT_THAT(output, HasSubstr("Device 1: TW 3xx (serial first): Updated successfully!\n" + kNext));
  EXPECT_THAT(output, HasSubstr("Updating Device 2: TW 3xx (serial faulty).\n"));
  EXPECT_THAT(output, HasSubstr("Get device info failed!\nDevice 2: TW 3xx (serial faulty): Get device info failed!\n" + kNext));
  EXPECT_THAT(output, HasSubstr("Updating Device 3: TW 3xx (serial third).\n"));
  EXPECT_THAT(output, HasSubstr("Device 3: TW 3xx (serial third): Updated successfully!\n" + kNext));
  EXPECT_THAT(output, testing::EndsWith("Stopping: no further instrument is updated.\n"
                                        "Station ended: 2 updated, 1 failed.\n"
                                        "failed: Device 2: TW 3xx (serial faulty): Get device info failed!\n"));
  EXPECT_TRUE(Updated(L"first"));
  EXPECT_TRUE(Untouched(L"faulty"));
  EXPECT_TRUE(Updated(L"third"));
  EXPECT_TRUE(Untouched(L"qm"));
  EXPECT_THAT(HistoryResults(), ElementsAre("Updated successfully!", "Get device info failed!", "Updated successfully!"));
  std::vector<std::string> entries;
  for (const std::string& line : HistoryLines()) entries.push_back(Field(line, kEntryField));
  EXPECT_THAT(entries, ElementsAre("Device 1: TW 3xx", "Device 2: TW 3xx", "Device 3: TW 3xx"));
}

// What a device or a package says is printed as text, never as control: a product string with
// escape sequences and a manifest's device type with a carriage return cannot forge a line such as "Device 3: TW 3xx: Updated successfully!" for a line controller reading along.
TEST_F(ProductionLineTest, ControlCharactersFromDevicesAndPackagesArePrintedEscaped) {
  const std::string forged = "Device 3: TW 3xx: Updated successfully!";
  // A product string that moves the cursor up and clears the line (the bench's INI carries no
  // line breaks; the manifest below does).
  ASSERT_TRUE(bench().WriteString(sim::Bench::InstrumentSection(L"qm"), L"product", L"QM 5xx\x1b[1A\x1b[2K\x08"));
  const ProgramRun list = Knupdate(L"list");
  EXPECT_THAT(Lines(list.output), testing::Contains("Device 1: QM 5xx\\x1B[1A\\x1B[2K\\x08\tapplication\tqm"));

  // Built by hand: the package tool refuses such a type.
  const std::string type = "TW 3xx\r" + forged;
  const auto check = [](const std::string& bytes) { return FormatCheckValue(BufferCrc32(bytes.data(), bytes.size())); };
  const std::string manifest = type + "\n" + FormatCheckValue(DeviceTypeCheckValue(type)) + "\np\n" + check("P") +
                               "\nm\n" + check("M") + "\nd\n" + check("D") + "\n";
  const std::wstring package = m_scratch / L"forged.kn";
  std::string error;
  ASSERT_TRUE(knpack::WriteZipArchive(package, {knpack::ZipEntry("info", manifest), knpack::ZipEntry("p", "P"),
                                                knpack::ZipEntry("m", "M"), knpack::ZipEntry("d", "D")},
                                      error))
      << error;
  RunningProgram station(KnupdateCommand() + L"station --package \"" + package + L"\" --yes");
  ASSERT_TRUE(station.WaitForOutput("Station for TW 3xx\\r" + forged + ": " + kNext, kUpdateTimeoutMs))
      << station.Output();
  ASSERT_TRUE(station.Type("q\n"));
  station.WaitForExit(kUpdateTimeoutMs);
  EXPECT_THAT(Lines(station.Output() + list.output), testing::Not(testing::Contains(testing::StartsWith(forged))));
}

// A line must not go on without its records: a station whose record cannot be written stops
// after that update, says why, and exits with 3.
TEST_F(ProductionLineTest, AStationStopsWhenARecordCannotBeWritten) {
  ASSERT_TRUE(CreateDirectoryW(HistoryFile().c_str(), nullptr));  // no file can be written there
  ASSERT_TRUE(bench().SetMode(L"tw", sim::Mode::kAbsent));
  RunningProgram station(KnupdateCommand() + L"station " + PackageArgument() + L" --yes");
  ASSERT_TRUE(StationReady(station)) << station.Output();
  Plug(L"first");
  EXPECT_EQ(station.WaitForExit(kUpdateTimeoutMs), 3u) << station.Output();
  EXPECT_THAT(station.Output(), testing::EndsWith("Updated successfully!\n"
                                                  "The update history could not be written!\n"
                                                  "Device 1: TW 3xx (serial first): Updated successfully!\n"
                                                  "Station ended: 1 updated, 0 failed.\n"));
  Plug(L"second");
  Sleep(1500);
  EXPECT_TRUE(Untouched(L"second"));
}

// An instrument that takes long to come back after its update (longer than a missing one's path
// is kept otherwise) is waited for before the next is asked for, and is not updated again.
TEST_F(ProductionLineTest, AStationWaitsForAnUpdatedInstrumentToComeBack) {
  ASSERT_TRUE(bench().SetMode(L"tw", sim::Mode::kAbsent));
  RunningProgram station(KnupdateCommand() + L"station " + PackageArgument() + L" --yes");
  ASSERT_TRUE(StationReady(station)) << station.Output();
  Plug(L"slow", sim::Mode::kApplication, [](sim::Instrument& slow) { slow.reenumeration_ms = 20000; });
  ASSERT_TRUE(station.WaitForOutput(kNext, kUpdateTimeoutMs, 2)) << station.Output();
  Sleep(2000);  // back in application mode meanwhile, and listed two more times
  ASSERT_TRUE(station.Type("q\n"));
  EXPECT_EQ(station.WaitForExit(kUpdateTimeoutMs), 0u) << station.Output();
  const std::string output = station.Output();
  EXPECT_EQ(output.find("Updating "), output.rfind("Updating ")) << output;
  EXPECT_THAT(output, HasSubstr("Station ended: 1 updated, 0 failed.\n"));
  EXPECT_TRUE(Updated(L"slow"));
  EXPECT_THAT(HistoryResults(), ElementsAre("Updated successfully!"));
}

// One that fails in its loader is named with the command that updates it. Updated by that
// command it comes back, and is not updated again; unplugged and plugged in again, it is tried
// again, however soon; and so is one pulled out during its update.
TEST_F(ProductionLineTest, AStationTriesAFailedInstrumentAgainOnlyWhenPluggedInAgain) {
  const auto failsInItsLoader = [](sim::Instrument& instrument) {
    instrument.fault(sim::Operation::kEepromWrite).error_code = 7;
  };
  ASSERT_TRUE(bench().SetMode(L"tw", sim::Mode::kAbsent));
  RunningProgram station(KnupdateCommand() + L"station " + PackageArgument() + L" --yes");
  ASSERT_TRUE(StationReady(station)) << station.Output();
  const std::wstring argument = PackageArgument();
  const std::string command = "knupdate update " + std::string(argument.begin(), argument.end()) + " --device 2\n";

  // Updated by the command the station names.
  Plug(L"unlucky", sim::Mode::kApplication, failsInItsLoader);
  ASSERT_TRUE(station.WaitForOutput("Device 2: TW 3xx waits in its DFU loader: " + command, kUpdateTimeoutMs))
      << station.Output();
  Plug(L"unlucky", sim::Mode::kDfu);  // the fault cleared, still in its loader
  const ProgramRun named = Knupdate(L"update " + argument + L" --device 2");
  EXPECT_EQ(named.exitCode, 0u) << named.output;
  Sleep(3000);  // back in application mode, listed by three refreshes

  // Unplugged and plugged in again at once.
  Plug(L"again", sim::Mode::kApplication, failsInItsLoader);
  ASSERT_TRUE(station.WaitForOutput(kNext, kUpdateTimeoutMs, 3)) << station.Output();
  ASSERT_TRUE(station.WaitForOutput(" waits in its DFU loader: ", kUpdateTimeoutMs, 2)) << station.Output();
  ASSERT_TRUE(bench().SetMode(L"again", sim::Mode::kAbsent));
  Sleep(1200);
  Plug(L"again");
  ASSERT_TRUE(station.WaitForOutput(kNext, kUpdateTimeoutMs, 4)) << station.Output();

  // Pulled out during its update, and plugged in again at once.
  Plug(L"pulled", sim::Mode::kApplication,
       [](sim::Instrument& instrument) { instrument.fault(sim::Operation::kNandWrite).unplug_after = 0x100; });
  ASSERT_TRUE(station.WaitForOutput(kNext, kUpdateTimeoutMs, 5)) << station.Output();
  Plug(L"pulled");
  ASSERT_TRUE(station.WaitForOutput(kNext, kUpdateTimeoutMs, 6)) << station.Output();
  Sleep(2000);

  ASSERT_TRUE(station.Type("q\n"));
  EXPECT_EQ(station.WaitForExit(kUpdateTimeoutMs), 1u) << station.Output();
  const std::string output = station.Output();
  const std::string dataFailed = "): Error Unknown DFU library error (7) reported during downloading data file!\n";
  EXPECT_THAT(output, HasSubstr("Station ended: 2 updated, 3 failed.\n"
                                "failed: Device 1: TW 3xx (serial unlucky" + dataFailed +
                                "failed: Device 2: TW 3xx (serial again" + dataFailed +
                                "failed: Device 3: TW 3xx (serial pulled): "))
      << output;
  EXPECT_TRUE(Updated(L"unlucky"));
  EXPECT_TRUE(Updated(L"again"));
  EXPECT_TRUE(Updated(L"pulled"));
  EXPECT_EQ(HistoryLines().size(), 6u) << "three failures, the named command's update and two after plugging in again";
}

// While another program updates an instrument (this test holds the bench's update mark, as
// every updater does), a station switches none: the loader may hide the device open there.
TEST_F(ProductionLineTest, AStationWaitsWhileAnotherProgramUpdates) {
  ASSERT_TRUE(bench().SetMode(L"tw", sim::Mode::kAbsent));
  RunningProgram station(KnupdateCommand() + L"station " + PackageArgument() + L" --yes");
  ASSERT_TRUE(StationReady(station)) << station.Output();
  {
    WorkstationUpdateMark elsewhere;
    ASSERT_TRUE(elsewhere.TryTake());
    ASSERT_TRUE(station.WaitForOutput(
        "Another program is updating an instrument on this workstation: waiting until it has ended.\n",
        kUpdateTimeoutMs))
        << station.Output();
    Plug(L"first");
    Sleep(2500);
    EXPECT_TRUE(Untouched(L"first")) << "switched while another program updated";
  }
  ASSERT_TRUE(station.WaitForOutput("Device 1: TW 3xx (serial first): Updated successfully!\n", kUpdateTimeoutMs))
      << station.Output();
  ASSERT_TRUE(station.Type("q\n"));
  EXPECT_EQ(station.WaitForExit(kUpdateTimeoutMs), 0u) << station.Output();
  EXPECT_TRUE(Updated(L"first"));
}

// An instrument of the package's type waiting in its loader is named with the command that
// updates it, and nothing is switched while it waits: the line once, then the wait.
TEST_F(ProductionLineTest, AStationWaitsWhileOneOfTheTypeWaitsInItsLoader) {
  Plug(L"twloader", sim::Mode::kDfu);
  RunningProgram station(KnupdateCommand() + L"station " + PackageArgument() + L" --yes");
  ASSERT_TRUE(station.started());
  const std::wstring argument = PackageArgument();
  const std::string waits = "Device 3: TW 3xx waits in its DFU loader: knupdate update " +
                            std::string(argument.begin(), argument.end()) + " --device 3\n";
  ASSERT_TRUE(station.WaitForOutput(waits, kUpdateTimeoutMs)) << station.Output();
  Sleep(3000);
  EXPECT_TRUE(Untouched(L"tw")) << "switched while another waited";
  ASSERT_TRUE(bench().SetMode(L"twloader", sim::Mode::kAbsent));  // unplugged
  ASSERT_TRUE(station.WaitForOutput("Device 0: TW 3xx (serial tw): Updated successfully!\n", kUpdateTimeoutMs)) << station.Output();
  ASSERT_TRUE(station.Type("q\n"));
  EXPECT_EQ(station.WaitForExit(kUpdateTimeoutMs), 0u);
  const std::string output = station.Output();
  EXPECT_EQ(output.find(waits), output.rfind(waits)) << "named once while it waits";
  const std::string blocked =
      "Another instrument of this type is waiting in its DFU loader. Update it or unplug it first.\n";
  EXPECT_EQ(output.find(blocked), output.rfind(blocked)) << "said once";
  EXPECT_NE(output.find(blocked), std::string::npos);
  EXPECT_TRUE(Updated(L"tw"));
}

// One in its loader whose product text cannot be read may be of the type: the station switches
// nothing while it waits (and names no command, as none can update it), and goes on once it has
// been unplugged. Tried meanwhile, the instrument would have failed and not been tried again.
TEST_F(ProductionLineTest, AStationWaitsWhileAnUnreadableInstrumentWaitsInItsLoader) {
  Plug(L"mute", sim::Mode::kDfu, [](sim::Instrument& instrument) {
    instrument.product = L"QM 5xx";
    instrument.product_string_unreadable = true;
  });
  RunningProgram station(KnupdateCommand() + L"station " + PackageArgument() + L" --yes");
  ASSERT_TRUE(station.started());
  const std::string blocked =
      "Another instrument of this type is waiting in its DFU loader. Update it or unplug it first.\n";
  ASSERT_TRUE(station.WaitForOutput(blocked, kUpdateTimeoutMs)) << station.Output();
  Sleep(3000);
  EXPECT_TRUE(Untouched(L"tw")) << "switched while it waited";
  ASSERT_TRUE(bench().SetMode(L"mute", sim::Mode::kAbsent));  // unplugged
  ASSERT_TRUE(station.WaitForOutput("Device 0: TW 3xx (serial tw): Updated successfully!\n", kUpdateTimeoutMs)) << station.Output();
  ASSERT_TRUE(station.Type("q\n"));
  EXPECT_EQ(station.WaitForExit(kUpdateTimeoutMs), 0u) << station.Output();
  EXPECT_THAT(station.Output(), testing::Not(HasSubstr("waits in its DFU loader")));
  EXPECT_TRUE(Updated(L"tw"));
}

// A single update holds the workstation's mark until the updated instrument has left its loader,
// as a run does: until then another program would take it for one of the type waiting there.
TEST_F(ProductionLineTest, AnUpdateHoldsTheMarkUntilItsInstrumentHasLeftTheLoader) {
  for (const wchar_t* id : {L"tw", L"qm", L"vx"}) ASSERT_TRUE(bench().SetMode(id, sim::Mode::kAbsent));
  Plug(L"slow", sim::Mode::kApplication, [](sim::Instrument& instrument) { instrument.loader_linger_ms = 8000; });
  RunningProgram update(KnupdateCommand() + L"update " + PackageArgument() + L" --device 0");
  ASSERT_TRUE(update.WaitForOutput("Updated successfully!\n", kUpdateTimeoutMs)) << update.Output();
  EXPECT_TRUE(WorkstationUpdateMark::HeldElsewhere()) << "let go while the instrument is still in its loader";
  EXPECT_EQ(update.WaitForExit(kUpdateTimeoutMs), 0u) << update.Output();
  EXPECT_FALSE(WorkstationUpdateMark::HeldElsewhere());
  EXPECT_TRUE(Updated(L"slow"));
}

// Two programs started at once to update two instruments of one type on one workstation: the
// second switches no instrument while the first one's update runs (the bench's trace has every
// frame sent to an instrument and every DFU call, in order), and both instruments are updated.
TEST_F(ProductionLineTest, TwoProgramsNeverUpdateAtTheSameTime) {
  for (const wchar_t* id : {L"tw", L"qm", L"vx"}) ASSERT_TRUE(bench().SetMode(id, sim::Mode::kAbsent));
  Plug(L"first");  // Device 0
  Plug(L"second");  // Device 1
  RunningProgram one(KnupdateCommand() + L"update " + PackageArgument() + L" --device 0");
  RunningProgram other(KnupdateCommand() + L"update " + PackageArgument() + L" --device 1");
  ASSERT_TRUE(one.started() && other.started());
  EXPECT_EQ(one.WaitForExit(2 * kUpdateTimeoutMs), 0u) << one.Output();
  EXPECT_EQ(other.WaitForExit(2 * kUpdateTimeoutMs), 0u) << other.Output();
  EXPECT_TRUE(Updated(L"first"));
  EXPECT_TRUE(Updated(L"second"));

  // From its first frame (the switch) to its closing in the loader, each update has the bench
  // to itself.
  const std::vector<std::string> trace = Lines(testing_support::ReadFileBytes(bench().TracePath()));
  const auto span = [&](const std::string& id) {
    std::size_t first = trace.size(), closed = trace.size();
    for (std::size_t i = 0; i < trace.size(); ++i) {
      if (first == trace.size() && trace[i].rfind("OUT " + id + " ", 0) == 0) first = i;
      if (trace[i].rfind("DFU close id=" + id + " flag=1", 0) == 0) closed = i;
    }
    return std::make_pair(first, closed);
  };
  const auto a = span("first"), b = span("second");
  ASSERT_LT(a.first, a.second);
  ASSERT_LT(b.first, b.second);
  EXPECT_TRUE(a.second < b.first || b.second < a.first)
      << "first: lines " << a.first << "-" << a.second << ", second: lines " << b.first << "-" << b.second;
}

}  // namespace
