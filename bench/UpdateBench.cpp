// Benchmark of the whole update: a package with a 64 MiB media image on an unpaced bench,
// timed from "Download" to "Updated successfully!" with the procedure's fixed pauses left out
// (the host counts them instead of sleeping), against our kndfu.dll writing and verifying
// the same images from memory in the same run. The goals: the updater adds at most 10% to the
// library's own time, and its own cost (the update less the library's time) is at most 0.20 s;
// the unpaced run also times the package signed, with its maker's key trusted, which may cost
// at most 1.15 times one SHA-256 pass of CNG over the images more.
//
// usage: update_bench DIR [BYTES_PER_SECOND]
//   DIR receives the bench, the package and the extracted files; a rate paces the bench's
//   transfers as a real instrument's would be (one run each instead of the best of three).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "dfu/DfuLibrary.h"
#include "procedure/Download.h"
#include "procedure/UpdateWorker.h"
#include "sim/bench/Bench.h"
#include "sim/bench/TemporaryBench.h"
#include "signing/Sha256.h"
#include "sim/usb/UsbDriverSimulation.h"
#include "tools/knpack/PackageSigning.h"
#include "tools/knpack/PackageWriter.h"
#include "usbio/UsbSystemPort.h"

using benchsupport::Incompressible;
using benchsupport::kMiB;
using benchsupport::Seconds;
using benchsupport::WriteBytes;

namespace {

constexpr int kRuns = 3;
constexpr wchar_t kInstrument[] = L"tw";

LRESULT CALLBACK IgnoreNotifications(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

// A window of this thread for the library's notifications, so both runs pay for them alike.
HWND NotificationWindow() {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &IgnoreNotifications;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"KnUpdateBench";
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// Runs the update on the calling thread without a dialog: the one application-mode entry is
// selected, pauses are added up instead of slept, the worker runs inline.
class BenchHost : public UpdateHost {
 public:
  BenchHost(HWND window, UpdateSession& session) : m_window(window), m_session(session) {}

  void ShowMessage(const std::wstring&) override {}
  void SetStatusText(const std::wstring&) override {}
  void ShowStatus(bool) override {}
  void ShowProgress(bool) override {}
  void SetProgressRange(int) override {}
  void SetProgressPos(int) override {}
  void Pause(DWORD milliseconds) override { pausedMs += milliseconds; }
  bool GetSelection(DeviceSelection& selection) override {
    selectionAt = Seconds();
    selection.entry = {DeviceKind::kApplication, 0};
    selection.text = L"Device 0: TW 3xx\n";
    selection.product = L"TW 3xx";
    selection.deviceList = deviceList;
    return true;
  }
  void RefreshDeviceList() override {}
  void EnableInputs(bool) override {}
  void SetRefreshTimer(bool) override {}
  void SetUpdateRunning(bool) override {}
  HWND NotificationWindow() override { return m_window; }
  void SetStage(const std::wstring&) override {
    if (firstStageAt == 0) firstStageAt = Seconds();
  }
  bool StartWorker() override {
    workerAt = Seconds();
    UpdateWorker(*this, m_session);
    return true;
  }
  bool StopRequested() override { return false; }
  bool BeginWriting() override { return true; }
  // Right before the final message: the update's end, and how it ended.
  bool RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) override {
    if (outcome == UpdateOutcome::kSucceeded) updatedAt = Seconds();
    last = record.result;
    return true;
  }

  HDEVINFO deviceList = nullptr;
  // When the package check had ended, the worker started, and its first write began.
  double selectionAt = 0, workerAt = 0, firstStageAt = 0;
  double updatedAt = 0;  // 0: the update failed
  DWORD pausedMs = 0;
  std::wstring last;

 private:
  HWND m_window;
  UpdateSession& m_session;
};

// The best run's times of one update, from "Download".
struct Timing {
  double update = 1e9, packageCheck = 0, preparation = 0, imageCheck = 0, writes = 0;
};

// One whole update; keeps it in best when it is the fastest so far.
bool TimeUpdate(HWND window, const std::wstring& package, const std::wstring& extractDir,
                const std::wstring& trustedKeys, Timing& best, DWORD& pausedMs) {
  UpdateSession session;
  BenchHost host(window, session);
  host.deviceList = CUsbIo::OpenDeviceList(&kUsbIoInterfaceGuid);
  const double start = Seconds();
  RunDownload(host, session, package, extractDir, trustedKeys);
  CUsbIo::CloseDeviceList(host.deviceList);
  if (host.updatedAt == 0) {
    std::fprintf(stderr, "the update failed: %ls\n", host.last.c_str());
    return false;
  }
  if (host.updatedAt - start < best.update) {
    best.update = host.updatedAt - start;
    best.packageCheck = host.selectionAt - start;
    best.preparation = host.workerAt - host.selectionAt;
    best.imageCheck = host.firstStageAt - host.workerAt;
    best.writes = host.updatedAt - host.firstStageAt;
  }
  pausedMs = host.pausedMs;
  return true;
}

struct Images {
  std::string bootloader, data, media, program;
};

// The library alone: the same writes from memory, verified, with the same window.
bool WriteWithTheLibraryAlone(sim::Bench& bench, const Images& images, HWND window) {
  bench.SetMode(kInstrument, sim::Mode::kDfu);
  DfuDeviceInfo info = {};
  DfuHandle device = 0;
  if (LoadDfuLibrary() != kDfuReady || DfuDeviceOpen(0, &info, &device) != 0) return false;
  DfuFlashParams flash = {};
  const auto bytes = [](const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); };
  const auto length = [](const std::string& s) { return static_cast<std::uint32_t>(s.size()); };
  const std::uint32_t body = length(images.program) - 1024;
  const bool ok = DfuParamsGet(device, &flash) == 0 &&
                  DfuDownloadBin(device, bytes(images.bootloader), length(images.bootloader), 0, 1, window) == 0 &&
                  DfuErase(device, flash.flashTop - flash.sectorSize, flash.sectorSize, 1, nullptr) == 0 &&
                  DfuWriteEEP(device, bytes(images.data), length(images.data), 0, 1, window) == 0 &&
                  DfuWriteNand(device, bytes(images.media), length(images.media), 0, 1, window) == 0 &&
                  DfuDownloadBin(device, bytes(images.program), body, flash.appStartAddress, 1, window) == 0 &&
                  DfuDownloadBin(device, bytes(images.program) + body, flash.sectorSize,
                                 flash.flashTop - flash.sectorSize, 1, nullptr) == 0;
  DfuDeviceClose(device, 1);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: update_bench DIR [BYTES_PER_SECOND]\n");
    return 2;
  }
  const std::uint32_t rate = argc == 3 ? static_cast<std::uint32_t>(std::wcstoul(argv[2], nullptr, 10)) : 0;
  const int runs = rate == 0 ? kRuns : 1;
  std::wstring dir = argv[1];
  if (dir.back() != L'\\') dir += L'\\';
  CreateDirectoryW(dir.c_str(), nullptr);

  sim::Bench bench(dir + L"bench");
  sim::Instrument instrument = sim::MakeInstrument(kInstrument, L"TW 3xx", 4181, sim::Mode::kApplication);
  instrument.nand_size = 96 * kMiB;
  instrument.bytes_per_second = rate;
  if (!bench.Create() || !bench.Save(instrument)) {
    std::fprintf(stderr, "cannot write the bench\n");
    return 1;
  }
  SetEnvironmentVariableW(sim::Bench::kEnvironmentVariable, bench.folder().c_str());
  sim::UsbDriverSimulation simulation(bench);
  InstallUsbSystemPort(&simulation);

  Images images;
  images.bootloader = Incompressible(16 * 1024, 1);
  images.data = Incompressible(4096, 2);
  images.media = benchsupport::MediaImage(64 * kMiB);
  images.program = Incompressible(0x3C000, 4);
  knpack::PackageInputs inputs;
  inputs.deviceType = "TW 3xx";
  inputs.bootloaderFile = dir + L"bootloader.bin";
  inputs.dataFile = dir + L"data.bin";
  inputs.mediaFile = dir + L"media.bin";
  inputs.programFile = dir + L"program.bin";
  std::string error;
  if (!WriteBytes(inputs.bootloaderFile, images.bootloader) || !WriteBytes(inputs.dataFile, images.data) ||
      !WriteBytes(inputs.mediaFile, images.media) || !WriteBytes(inputs.programFile, images.program) ||
      !knpack::BuildUpdatePackage(inputs, dir + L"bench.kn", error)) {
    std::fprintf(stderr, "cannot build the package: %s\n", error.c_str());
    return 1;
  }
  // The same package signed, with its maker's key trusted (the unpaced run only).
  std::wstring fingerprint, signer, signError;
  if (rate == 0 && (!knpack::WriteKeyPair(L"Bench Maker", dir + L"maker", fingerprint, signError) ||
      !knpack::SignPackage(dir + L"bench.kn", dir + L"maker.key", dir + L"signed.kn", signer, signError) ||
      !CopyFileW((dir + L"maker.pub").c_str(), (dir + L"trusted-keys.txt").c_str(), FALSE))) {
    std::fprintf(stderr, "cannot sign the package: %ls\n", signError.c_str());
    return 1;
  }
  const std::wstring extractDir = dir + L"extract\\";
  CreateDirectoryW(extractDir.c_str(), nullptr);
  HWND window = NotificationWindow();

  double library = 1e9;
  Timing unsigned_, signed_;
  DWORD pausedMs = 0;
  bool ok = true;
  for (int run = 0; run < runs && ok; ++run) {
    const double libraryStart = Seconds();
    ok = WriteWithTheLibraryAlone(bench, images, window);
    library = std::min(library, Seconds() - libraryStart);
    ok = ok && TimeUpdate(window, dir + L"bench.kn", extractDir, dir + L"no-trusted-keys.txt", unsigned_, pausedMs);
    if (rate == 0) {
      ok = ok && WriteWithTheLibraryAlone(bench, images, window) &&
           TimeUpdate(window, dir + L"signed.kn", extractDir, dir + L"trusted-keys.txt", signed_, pausedMs);
    }
  }
  InstallUsbSystemPort(nullptr);
  if (!ok) return 1;
  // One SHA-256 pass of the platform's CNG over the images: what the signed update may cost
  // more, at most 1.15 times.
  double shaPass = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    const double start = Seconds();
    signing::Sha256Digest digest;
    for (const std::string* image : {&images.bootloader, &images.data, &images.media, &images.program}) {
      signing::BufferSha256(image->data(), image->size(), digest);
    }
    shaPass = std::min(shaPass, Seconds() - start);
  }

  std::printf("package: 64 MiB media (half incompressible), 240 KiB program, 16 KiB bootloader, 4 KiB data; "
              "bench %s\n",
              rate == 0 ? "unpaced" : (std::to_string(rate / 1000000) + " MB/s").c_str());
  std::printf("update from Download to \"Updated successfully!\", fixed pauses (%lu ms) left out: %.3f s (best of %d)\n",
              static_cast<unsigned long>(pausedMs), unsigned_.update, runs);
  std::printf("  of which: package check %.3f s, preparation %.3f s, images mapped and their CRC-32 checked %.3f s, "
              "writes %.3f s\n",
              unsigned_.packageCheck, unsigned_.preparation, unsigned_.imageCheck, unsigned_.writes);
  std::printf("kndfu.dll writing and verifying the same images from memory: %.3f s (best of %d)\n", library, runs);
  std::printf("ratio update / library: %.3f (goal: at most 1.10)\n", unsigned_.update / library);
  std::printf("the update's own cost (the update less the library's time): %.3f s (goal: at most 0.20 s)\n",
              unsigned_.update - library);
  if (rate == 0) {
    std::printf("signed, the maker's key trusted: update %.3f s, its own cost %.3f s\n", signed_.update,
                signed_.update - library);
    std::printf("one SHA-256 pass of CNG over the images: %.3f s; the signed update's own cost is %.2f such passes "
                "above the unsigned one's (goal: at most 1.15)\n",
                shaPass, (signed_.update - unsigned_.update) / shaPass);
    std::printf("  of which: package check %.3f s, preparation %.3f s, images mapped and their CRC-32 checked %.3f s, "
                "writes %.3f s\n",
                signed_.packageCheck, signed_.preparation, signed_.imageCheck, signed_.writes);
  }
  return 0;
}
