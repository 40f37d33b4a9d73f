// The main job's operator: drives the bench build of the updater on the default bench the way
// a technician would, from another process of the same Wine session, and prints what they
// would see: the instruments listed, the package chosen with "Select", "Download", the status
// captions in the order they show, and every message box, answered with OK. Then it compares
// the instruments' memories on the bench with the package's images, region by region, and
// looks at the list once the instrument is back. Saves a screenshot at each stage.
//
// usage: bench_demo PACKAGE IMAGES_DIR SCREENSHOT_DIR
//   IMAGES_DIR holds the package's images as program.bin, media.bin, data.bin, bootloader.bin.
// Exits with 0 only when the update succeeded and every memory holds what it should.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/bench/Bench.h"
#include "sim/operator/DialogDriver.h"
#include "sim/operator/ScreenCapture.h"

namespace dd = dialog_driver;

namespace {

constexpr int kDeviceList = 1000, kFilePath = 1004, kSelect = 1002, kStatus = 1009, kProgress = 1008;
constexpr wchar_t kUpdated[] = L"Updated successfully!";
constexpr wchar_t kTarget[] = L"TW 3xx";

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\n') {
      out += "\\n";
    } else if (c == L'\r') {
      out += "\\r";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char bytes[8];
      const int n = WideCharToMultiByte(CP_UTF8, 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
      out.append(bytes, static_cast<std::size_t>(n > 0 ? n : 0));
    }
  }
  return out;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return bytes;
  char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
  std::fclose(file);
  return bytes;
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

class Operator {
 public:
  explicit Operator(std::wstring screenshots) : m_screenshots(std::move(screenshots)) {}

  void Say(const std::string& line) { std::printf("%s\n", line.c_str()), std::fflush(stdout); }

  void Snapshot(const wchar_t* name) {
    Sleep(300);  // let the windows paint what they have just been told
    const std::wstring path = m_screenshots + std::to_wstring(++m_shots) + L"-" + name + L".bmp";
    if (!SaveScreenAsBitmap(path)) Say("   (no screenshot: the screen could not be read)");
  }

  bool ChoosePackage(HWND dialog, DWORD pid, const std::wstring& package) {
    dd::Click(dialog, kSelect);
    HWND picker = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, dialog); });
    if (picker == nullptr) return false;
    Say("-> \"Select\" opens the file dialog \"" + Utf8(dd::Text(picker)) + "\"");
    Snapshot(L"file-dialog");
    if (!dd::ChooseFileName(picker, package)) return false;
    return dd::WaitUntil([&] { return !IsWindow(picker) && dd::Text(GetDlgItem(dialog, kFilePath)) == package; });
  }

  // Watches the dialog through the whole update: prints every new status caption as it
  // shows, answers every message box, until the one that reports the outcome. Returns the
  // last message's text (empty when none came).
  std::wstring WatchTheUpdate(HWND dialog, DWORD pid) {
    HWND status = GetDlgItem(dialog, kStatus);
    HWND progress = GetDlgItem(dialog, kProgress);
    std::wstring shown, outcome;
    bool progressShot = false;
    const bool ended = dd::WaitUntil(
        [&] {
          if (HWND box = dd::FindDialog(pid, nullptr, dialog)) {
            const dd::MessageBoxSeen seen = dd::ReadMessageBox(box);
            Say("   message box \"" + Utf8(seen.caption) + "\": " + Utf8(seen.text));
            Snapshot(L"message");
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            Say("-> OK");
            dd::WaitUntil([&] { return !IsWindow(box); });
            // The bootloader warning is the one box that lets the update go on.
            if (seen.text.find(L"Bootloader update may make") == 0) return false;
            outcome = seen.text;
            return true;
          }
          if (!IsWindowVisible(status)) return false;
          const std::wstring caption = dd::Text(status);
          if (caption == shown) {
            // One picture of the bar moving during a long write.
            if (!progressShot && caption == L"Media file downloading!" && IsWindowVisible(progress) &&
                SendMessageW(progress, PBM_GETPOS, 0, 0) > 0) {
              progressShot = true;
              Snapshot(L"progress");
            }
            return false;
          }
          shown = caption;
          Say("   status: " + Utf8(caption) + (IsWindowVisible(progress) ? " (progress bar shown)" : ""));
          if (caption == L"Check device status" || caption == L"Wait DFU driver ready!") {
            Snapshot(caption == L"Check device status" ? L"device-status" : L"wait-for-loader");
          }
          return false;
        },
        180000, 2);
    if (!ended) Say("   no message box came within three minutes");
    return outcome;
  }

 private:
  std::wstring m_screenshots;
  int m_shots = 0;
};

// The instruments' memories on the bench against the images, region by region.
class MemoryCheck {
 public:
  MemoryCheck(Operator& person, const sim::Bench& bench) : m_person(person), m_bench(bench) {}

  void Expect(const sim::Instrument& instrument, sim::Memory memory, std::uint32_t address, const std::string& bytes,
              const std::string& what) {
    std::string stored(bytes.size(), '\0');
    const bool read = m_bench.ReadMemory(instrument.id, memory, address, reinterpret_cast<std::uint8_t*>(&stored[0]),
                                         static_cast<std::uint32_t>(bytes.size()));
    const bool same = read && stored == bytes;
    m_ok = m_ok && same;
    m_person.Say("   " + Utf8(instrument.product) + " " + Name(memory) + " at " + Hex(address) + ", " +
                 std::to_string(bytes.size()) + " bytes: " + what + (same ? " - matches" : " - DIFFERS"));
  }

  // Nothing written anywhere: every memory reads as erased.
  void ExpectUntouched(const sim::Instrument& instrument) {
    bool erased = true;
    for (sim::Memory memory : {sim::Memory::kFlash, sim::Memory::kEeprom, sim::Memory::kNand}) {
      const std::uint32_t size = sim::MemorySize(instrument, memory);
      std::string stored(size, '\0');
      erased = erased && m_bench.ReadMemory(instrument.id, memory, 0, reinterpret_cast<std::uint8_t*>(&stored[0]), size) &&
               stored.find_first_not_of('\xFF') == std::string::npos;
    }
    m_ok = m_ok && erased;
    m_person.Say("   " + Utf8(instrument.product) + ": " +
                 (erased ? "untouched (flash, EEPROM and NAND erased)" : "WRITTEN, although not selected"));
  }

  bool ok() const { return m_ok; }

 private:
  static std::string Name(sim::Memory memory) {
    switch (memory) {
      case sim::Memory::kFlash: return "flash";
      case sim::Memory::kEeprom: return "EEPROM";
      case sim::Memory::kNand: return "NAND";
    }
    return "?";
  }

  Operator& m_person;
  const sim::Bench& m_bench;
  bool m_ok = true;
};

bool CheckMemories(Operator& person, const std::wstring& images) {
  const sim::Bench bench(sim::Bench::FolderFromEnvironment());
  const std::string program = ReadFileBytes(images + L"program.bin");
  const std::string bootloader = ReadFileBytes(images + L"bootloader.bin");
  MemoryCheck check(person, bench);
  bool found = false;
  for (const sim::Instrument& instrument : bench.LoadAll()) {
    if (instrument.product != kTarget) {
      check.ExpectUntouched(instrument);
      continue;
    }
    found = true;
    const std::uint32_t S = instrument.sector_size, T = instrument.flash_top, A = instrument.app_start_address;
    if (program.size() < S) return false;
    const std::size_t body = program.size() - S;
    if (!bootloader.empty()) check.Expect(instrument, sim::Memory::kFlash, 0, bootloader, "the bootloader image");
    check.Expect(instrument, sim::Memory::kFlash, A, program.substr(0, body), "the program image but its last sector");
    check.Expect(instrument, sim::Memory::kFlash, T - S, program.substr(body), "the program image's last sector");
    check.Expect(instrument, sim::Memory::kEeprom, 0, ReadFileBytes(images + L"data.bin"), "the data image");
    check.Expect(instrument, sim::Memory::kNand, 0, ReadFileBytes(images + L"media.bin"), "the media image");
  }
  return found && check.ok();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_demo PACKAGE IMAGES_DIR SCREENSHOT_DIR\n");
    return 2;
  }
  const std::wstring package = argv[1];
  std::wstring images = argv[2];
  std::wstring screenshots = argv[3];
  if (images.back() != L'\\') images += L'\\';
  if (screenshots.back() != L'\\') screenshots += L'\\';
  Operator person(screenshots);

  HWND dialog = dd::WaitFor([] { return dd::FindDialog(0, L"Firmware updater"); }, 60000);
  if (dialog == nullptr) {
    person.Say("the dialog \"Firmware updater\" did not open");
    return 1;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(dialog, &pid);
  person.Say("the dialog \"Firmware updater\" is open; its device list shows:");
  HWND list = GetDlgItem(dialog, kDeviceList);
  std::vector<std::wstring> entries;
  dd::WaitUntil([&] { return !(entries = dd::ListEntries(list)).empty(); }, 10000);
  int target = -1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    person.Say("   " + Utf8(entries[i]));
    if (target < 0 && entries[i].find(kTarget) != std::wstring::npos) target = static_cast<int>(i);
  }
  person.Snapshot(L"devices");
  if (target < 0) {
    person.Say("no \"TW 3xx\" instrument is listed");
    return 1;
  }

  dd::ClickListEntry(list, target);
  dd::WaitUntil([&] { return SendMessageW(list, LB_GETCURSEL, 0, 0) == target; });
  person.Say("-> select \"" + Utf8(entries[static_cast<std::size_t>(target)]) + "\"");
  if (!person.ChoosePackage(dialog, pid, package)) {
    person.Say("the package could not be chosen");
    return 1;
  }
  person.Say("-> choose the package; the file box shows " + Utf8(dd::Text(GetDlgItem(dialog, kFilePath))));
  person.Snapshot(L"package");

  person.Say("-> \"Download\"");
  const ULONGLONG started = GetTickCount64();
  dd::Click(dialog, IDOK);
  const std::wstring outcome = person.WatchTheUpdate(dialog, pid);
  const bool updated = outcome == kUpdated;
  person.Say("== the update took " + std::to_string((GetTickCount64() - started) / 1000) + " s and ended with \"" +
             Utf8(outcome) + "\"");

  person.Say("== the instruments' memories on the bench against the package's images:");
  const bool written = CheckMemories(person, images);

  // The instrument restarts into its application and is listed again once it is back.
  const std::vector<std::wstring> back = {L"Device 0: TW 3xx\n", L"Device 1: QM 5xx\n", L"Device 2: VX 5xx\n"};
  const bool listedAgain = dd::WaitUntil([&] { return (entries = dd::ListEntries(list)) == back; }, 15000);
  person.Say("== the device list afterwards:");
  for (const std::wstring& entry : entries) person.Say("   " + Utf8(entry));
  person.Say(listedAgain ? "   the \"TW 3xx\" is back in application mode"
                         : "   the \"TW 3xx\" did not come back in application mode");
  person.Snapshot(L"after-update");

  dd::PressKey(dialog, VK_ESCAPE);
  const bool closed = dd::WaitUntil([&] { return !IsWindow(dialog); });
  person.Say(closed ? "-> Esc: the dialog closes" : "the dialog did not close");
  return updated && written && listedAgain && closed ? 0 : 1;
}
