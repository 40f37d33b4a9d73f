#include "package/UpdateManifest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class StringLines : public ManifestLineReader {
 public:
  explicit StringLines(std::string text) : m_text(std::move(text)) {}

 protected:
  int NextByte() override { return m_at < m_text.size() ? static_cast<unsigned char>(m_text[m_at++]) : -1; }

 private:
  std::string m_text;
  std::size_t m_at = 0;
};

UpdateManifest Read(const std::string& text, bool* readable = nullptr) {
  StringLines lines(text);
  UpdateManifest manifest;
  const bool ok = ReadUpdateManifest(lines, manifest);
  if (readable != nullptr) *readable = ok;
  return manifest;
}

const std::string kEightLines = "TW 3xx\n1\np.bin\n2\nm.bin\n3\nd.bin\n4";

struct Line9Case {
  const char* what;
  std::string text;
  bool hasLine9;
  bool marker;
};

class ManifestLine9Test : public ::testing::TestWithParam<Line9Case> {};

TEST_P(ManifestLine9Test, Line9IsThereWhenAnyLineFollowsLine8) {
  const UpdateManifest manifest = Read(GetParam().text);
  EXPECT_EQ(manifest.dataCheck, "4") << GetParam().what;
  EXPECT_EQ(manifest.hasLine9, GetParam().hasLine9) << GetParam().what;
  EXPECT_EQ(manifest.HasBootloaderMarker(), GetParam().marker) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Manifests, ManifestLine9Test,
    ::testing::Values(Line9Case{"eight lines, no final line feed", kEightLines, false, false},
                      Line9Case{"eight lines and a final line feed", kEightLines + "\n", false, false},
                      Line9Case{"eight lines, CR LF", kEightLines + "\r\n", false, false},
                      Line9Case{"one empty line 9", kEightLines + "\n\n", true, false},
                      Line9Case{"marker in lower case", kEightLines + "\nupdate_bootloader\n", true, false},
                      Line9Case{"marker with a trailing space", kEightLines + "\nUPDATE_BOOTLOADER \n", true, false},
                      Line9Case{"marker", kEightLines + "\nUPDATE_BOOTLOADER\n", true, true},
                      Line9Case{"marker, CR LF", kEightLines + "\r\nUPDATE_BOOTLOADER\r\n", true, true}));

TEST(UpdateManifestTest, ReadsTheFieldsInOrderKeepingSpaces) {
  const UpdateManifest manifest =
      Read("QM 5xx\r\n123\r\n fw/p.bin \r\n4\r\nm\r\n5\r\nd\r\n6\r\nUPDATE_BOOTLOADER\r\nb.bin\r\n7\r\nignored\r\n");
  EXPECT_EQ(manifest.deviceType, "QM 5xx");
  EXPECT_EQ(manifest.deviceTypeCheck, "123");
  EXPECT_EQ(manifest.programName, " fw/p.bin ");
  EXPECT_EQ(manifest.mediaName, "m");
  EXPECT_EQ(manifest.dataCheck, "6");
  EXPECT_EQ(manifest.bootloaderName, "b.bin");
  EXPECT_EQ(manifest.bootloaderCheck, "7");
}

TEST(UpdateManifestTest, MissingLinesReadAsEmpty) {
  const UpdateManifest shortOne = Read("TW 3xx\n1\np.bin");
  EXPECT_EQ(shortOne.programName, "p.bin");
  EXPECT_EQ(shortOne.programCheck, "");
  EXPECT_EQ(shortOne.dataName, "");
  EXPECT_FALSE(shortOne.hasLine9);

  const UpdateManifest noLine10 = Read(kEightLines + "\nUPDATE_BOOTLOADER");
  EXPECT_TRUE(noLine10.HasBootloaderMarker());
  EXPECT_EQ(noLine10.bootloaderName, "");
  EXPECT_EQ(noLine10.bootloaderCheck, "");
}

TEST(UpdateManifestTest, OnlyTheCarriageReturnBeforeTheLineFeedIsDropped) {
  const UpdateManifest manifest = Read("a\rb\r\r\n1\r\n");
  EXPECT_EQ(manifest.deviceType, "a\rb\r");
  EXPECT_EQ(manifest.deviceTypeCheck, "1");
}

// As in a text file of the C runtime: a Ctrl-Z ends the input, wherever it stands.
TEST(UpdateManifestTest, ACtrlZEndsTheManifest) {
  const UpdateManifest manifest = Read("TW 3xx\n12\x1A" "34\np.bin\n2\nm.bin\n3\nd.bin\n4\n");
  EXPECT_EQ(manifest.deviceType, "TW 3xx");
  EXPECT_EQ(manifest.deviceTypeCheck, "12");
  EXPECT_EQ(manifest.programName, "");
  EXPECT_EQ(manifest.dataCheck, "");
  EXPECT_FALSE(manifest.hasLine9);
  EXPECT_TRUE(IsWritableManifestField("TW\r3xx"));
  EXPECT_FALSE(IsWritableManifestField("TW\x1A"));
  EXPECT_FALSE(IsWritableManifestField("TW\n"));
}

TEST(UpdateManifestTest, AnOverlongLineMakesTheManifestUnreadable) {
  bool readable = true;
  Read(std::string(kMaxManifestLine + 1, 'x') + "\n1\n", &readable);
  EXPECT_FALSE(readable);
  Read(std::string(kMaxManifestLine, 'x') + "\n1\n", &readable);
  EXPECT_TRUE(readable);
  Read(kEightLines + "\nUPDATE_BOOTLOADER\nb\n1\n" + std::string(100000, 'y'), &readable);
  EXPECT_TRUE(readable) << "nothing after line 11 is read";
}

TEST(DeviceTypeCheckValueTest, CoversTheFirstHalfOfTheWideText) {
  EXPECT_EQ(DeviceTypeCheckValue("abc"), 367556721u);  // bytes 61 00 62
  EXPECT_NE(DeviceTypeCheckValue("abc"), BufferCrc32("abc", 3));
  EXPECT_EQ(DeviceTypeCheckValue("abc"), BufferCrc32("a\0b", 3));
  EXPECT_EQ(DeviceTypeCheckValue("abcd"), BufferCrc32("a\0b\0", 4));
  EXPECT_EQ(DeviceTypeCheckValue(""), 0u);
}

TEST(FormatCheckValueTest, PrintsLikePercentU) {
  EXPECT_EQ(FormatCheckValue(0), "0");
  EXPECT_EQ(FormatCheckValue(123), "123");
  EXPECT_EQ(FormatCheckValue(0xFFFFFFFFu), "4294967295");
}

TEST(ComposeUpdateManifestTest, ReadsBackAsWritten) {
  ManifestContent content;
  content.deviceType = "VX 5xx";
  content.programName = "p";
  content.programCrc = 1;
  content.mediaName = "m";
  content.mediaCrc = 2;
  content.dataName = "d";
  content.dataCrc = 3;
  content.withBootloader = true;
  content.bootloaderName = "b";
  content.bootloaderCrc = 4;
  const UpdateManifest manifest = Read(ComposeUpdateManifest(content));
  EXPECT_EQ(manifest.deviceTypeCheck, FormatCheckValue(DeviceTypeCheckValue("VX 5xx")));
  EXPECT_EQ(manifest.programName + manifest.mediaName + manifest.dataName + manifest.bootloaderName, "pmdb");
  EXPECT_EQ(manifest.programCheck + manifest.mediaCheck + manifest.dataCheck + manifest.bootloaderCheck, "1234");
  EXPECT_TRUE(manifest.HasBootloaderMarker());
}

}  // namespace
