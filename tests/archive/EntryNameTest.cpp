#include "archive/EntryName.h"

#include <gtest/gtest.h>

namespace {

using archive::CleanEntryName;
using archive::IsSafeRelativeName;

struct CleaningCase {
  const wchar_t* stored;
  const wchar_t* cleaned;
};

class CleanEntryNameTest : public ::testing::TestWithParam<CleaningCase> {};

TEST_P(CleanEntryNameTest, GivesTheNameUnderTheRoot) {
  EXPECT_EQ(CleanEntryName(GetParam().stored), GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    StoredNames, CleanEntryNameTest,
    ::testing::Values(CleaningCase{L"info", L"info"},                            // plain names stay
                      CleaningCase{L"C:\\fw\\prog.bin", L"fw\\prog.bin"},        // drive dropped
                      CleaningCase{L"\\fw\\prog.bin", L"fw\\prog.bin"},          // leading backslash
                      CleaningCase{L"/fw/prog.bin", L"fw/prog.bin"},             // leading slash
                      CleaningCase{L"old\\..\\fw\\prog.bin", L"fw\\prog.bin"},   // up to the step back
                      CleaningCase{L"a/../b/../c.bin", L"c.bin"},                // repeated
                      CleaningCase{L"C:/\\//x.bin", L"x.bin"},                   // rules in turn
                      CleaningCase{L"x\\../y.bin", L"y.bin"}, CleaningCase{L"x/..\\y.bin", L"y.bin"},
                      CleaningCase{L"../up.bin", L"../up.bin"},  // left for the safety test to refuse
                      CleaningCase{L"", L""}));

struct SafetyCase {
  const wchar_t* name;
  bool safe;
};

class SafeRelativeNameTest : public ::testing::TestWithParam<SafetyCase> {};

TEST_P(SafeRelativeNameTest, KeepsEveryPathBelowTheRoot) {
  EXPECT_EQ(IsSafeRelativeName(GetParam().name), GetParam().safe) << "name: " << testing::PrintToString(std::wstring(GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(
    Names, SafeRelativeNameTest,
    ::testing::Values(SafetyCase{L"info", true}, SafetyCase{L"fw/prog.bin", true}, SafetyCase{L"fw\\sub\\a.b", true},
                      SafetyCase{L"./prog.bin", true}, SafetyCase{L"console.bin", true},
                      SafetyCase{L"COM10", true}, SafetyCase{L"my..file", true},
                      SafetyCase{L"", false}, SafetyCase{L"../up.bin", false}, SafetyCase{L"..\\up.bin", false},
                      SafetyCase{L"fw/../../up.bin", false}, SafetyCase{L"fw/..", false},
                      SafetyCase{L"fw/.../x", false}, SafetyCase{L"/abs.bin", false},
                      SafetyCase{L"\\abs.bin", false}, SafetyCase{L"C:x.bin", false},
                      SafetyCase{L"fw/a:stream", false}, SafetyCase{L"CON", false}, SafetyCase{L"con.txt", false},
                      SafetyCase{L"fw/Nul", false}, SafetyCase{L"aux .bin", false}, SafetyCase{L"COM1", false},
                      SafetyCase{L"lpt9.log", false}, SafetyCase{L"PRN/x", false},
                      SafetyCase{L"m.bin ", false}, SafetyCase{L"fw./p.bin", false}, SafetyCase{L" lead.bin", true},
                      // All of Windows' device names, in any case and with any extension.
                      SafetyCase{L"COM0", false}, SafetyCase{L"lpt0.bin", false}, SafetyCase{L"COM\u00B9", false},
                      SafetyCase{L"com\u00B2.log", false}, SafetyCase{L"fw/Lpt\u00B3", false},
                      SafetyCase{L"LPT\u00B2 .x.y", false}, SafetyCase{L"CONIN$", false},
                      SafetyCase{L"conout$.txt", false}, SafetyCase{L"fw/ConIn$/x.bin", false},
                      SafetyCase{L"COM\u2074", true}, SafetyCase{L"CONIN", true}, SafetyCase{L"CONOUT$x", true},
                      SafetyCase{L"COM", true}, SafetyCase{L"LPT", true}));

}  // namespace
