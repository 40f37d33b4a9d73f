// UTF-16 and UTF-8, both ways, and the exact form that refuses what it would have to replace.
#include "text/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8Test, Utf16BecomesUtf8) {
  EXPECT_EQ(ToUtf8(L"M\u00E4ter \u03A9"), "M\xC3\xA4ter \xCE\xA9");
  EXPECT_EQ(ToUtf8(std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ToUtf8(std::wstring{static_cast<wchar_t>(0xD800), L'x'}), "\xEF\xBF\xBDx");
}

TEST(Utf8Test, Utf8ReadsBackAsWritten) {
  const std::wstring text = L"Logger \u00E4\u03A9 \u20AC";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(FromUtf8("a\xFF" "b\xC3"), std::wstring(L"a\uFFFDb\uFFFD"));
}

TEST(Utf8Test, TheExactFormRefusesALoneSurrogate) {
  struct Case {
    std::wstring text;
    bool exact;
  };
  const wchar_t high = static_cast<wchar_t>(0xD83D), low = static_cast<wchar_t>(0xDE00);
  for (const Case& c : {Case{L"Maker \u00C4", true}, Case{std::wstring{high, low}, true}, Case{std::wstring{high}, false},
                        Case{std::wstring{low, high}, false}, Case{std::wstring{L'a', high, L'b'}, false}}) {
    std::string utf8 = "stale";
    EXPECT_EQ(ToUtf8Exactly(c.text, utf8), c.exact);
    EXPECT_EQ(utf8, c.exact ? ToUtf8(c.text) : std::string());
  }
}

}  // namespace
