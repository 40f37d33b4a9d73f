// knbench: writes benches for the bench build of the updater and for demonstrations.
//
//   knbench default DIR   a bench with a "TW 3xx" (model 4181, serial TW3-000123) and a "QM 5xx"
//                         (model 4100, QM5-004711) in application mode and a "VX 5xx" in DFU
//                         mode (VX5-020931)
#include <cstdio>
#include <string>

#include "sim/bench/Bench.h"
#include "sim/bench/TemporaryBench.h"

namespace {

bool WriteDefaultBench(sim::Bench& bench) {
  struct Entry {
    const wchar_t* id;
    const wchar_t* product;
    const wchar_t* serial;
    std::uint32_t model;
    std::uint32_t address;
    sim::Mode mode;
  };
  const Entry entries[] = {{L"tw3", L"TW 3xx", L"TW3-000123", 4181, 0x01, sim::Mode::kApplication},
                           {L"qm5", L"QM 5xx", L"QM5-004711", 4100, 0x02, sim::Mode::kApplication},
                           {L"vx5", L"VX 5xx", L"VX5-020931", 4200, 0x03, sim::Mode::kDfu}};
  for (const Entry& entry : entries) {
    sim::Instrument instrument = sim::MakeInstrument(entry.id, entry.product, entry.model, entry.mode);
    instrument.bus_address = entry.address;
    instrument.serial = entry.serial;
    instrument.reenumeration_ms = 1500;
    instrument.bytes_per_second = 100000;  // slow enough to watch the progress bar
    // 512 KiB of flash in 1 KiB sectors: a program image of a few hundred KiB fits above the
    // 16 KiB boot area; 4 MiB of NAND for the media.
    instrument.sector_size = 1024;
    instrument.flash_top = 0x80000;
    instrument.app_start_address = 0x4000;
    instrument.nand_size = 0x400000;
    if (!bench.Save(instrument)) return false;
  }
  // The status of the TW 3xx becomes ready at the third poll, as a real one takes a moment.
  bench.WriteInt(sim::Bench::InstrumentSection(L"tw3"), L"statusReadyAfter", 3);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 || std::wstring(argv[1]) != L"default") {
    std::fprintf(stderr, "usage: knbench default DIR\n");
    return 2;
  }
  sim::Bench bench(argv[2]);
  if (!bench.Create() || !WriteDefaultBench(bench)) {
    std::fprintf(stderr, "knbench: cannot write the bench\n");
    return 1;
  }
  std::printf("default bench written\n");
  return 0;
}
