// Lines the console tools print: control characters escaped, the tools' own texts split.
#include "text/PrintableText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

TEST(PrintableTextTest, ControlCharactersAreEscapedAndNothingElse) {
  const struct {
    std::wstring text, printed;
  } cases[] = {
      {L"Device 0: TW 3xx", L"Device 0: TW 3xx"},
      {L"TW 3xx\rDevice 3: TW 3xx: Updated successfully!", L"TW 3xx\\rDevice 3: TW 3xx: Updated successfully!"},
      {L"a\nb\tc", L"a\\nb\\tc"},
      {L"\x1b[2K\x7f\x01", L"\\x1B[2K\\x7F\\x01"},
      {std::wstring(1, L'\0'), L"\\x00"},
      {L"C:\\path\\\u00e9\u4e2d", L"C:\\path\\\u00e9\u4e2d"},  // backslashes and letters of any script as they are
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControlCharacters(c.text), c.printed) << testing::PrintToString(c.text);
}

TEST(PrintableTextTest, OwnTextsAreSplitAtTheirLineBreaks) {
  EXPECT_THAT(OwnTextLines(L"usage: a\r\n       b\nc"), testing::ElementsAre(L"usage: a", L"       b", L"c"));
  EXPECT_THAT(OwnTextLines(L"one"), testing::ElementsAre(L"one"));
  EXPECT_THAT(OwnTextLines(L"a\r\n"), testing::ElementsAre(L"a", L""));
}

}  // namespace
