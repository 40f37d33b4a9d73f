#include "sim/bench/Bench.h"

#include <windows.h>

#include <cwctype>
#include <cwchar>
#include <map>

#include "sim/bench/MemoryFile.h"

namespace sim {

namespace {

constexpr const wchar_t* kIniName = L"bench.ini";
constexpr const wchar_t* kTraceName = L"trace.txt";
constexpr const wchar_t* kInstrumentsKey = L"instruments";
constexpr const wchar_t* kDfuDriverKey = L"dfuDriver";
constexpr const wchar_t* kClockKey = L"clock";
constexpr const wchar_t* kClockMsKey = L"clockMs";
constexpr const wchar_t* kManualClock = L"manual";

std::vector<std::wstring> SplitList(const std::wstring& text) {
  std::vector<std::wstring> items;
  std::wstring item;
  for (wchar_t c : text + L",") {
    if (c != L',') {
      if (c != L' ') item.push_back(c);
      continue;
    }
    if (!item.empty()) items.push_back(item);
    item.clear();
  }
  return items;
}

std::wstring JoinList(const std::vector<std::wstring>& items) {
  std::wstring text;
  for (const std::wstring& item : items) text += (text.empty() ? L"" : L",") + item;
  return text;
}

// Decimal, or hexadecimal with 0x, as a person editing the file would write it; hexadecimal
// values of 32-bit fields above 0x7FFFFFFF parse as unsigned.
std::int64_t ParseInt(const std::wstring& text, std::int64_t fallback) {
  if (text.empty()) return fallback;
  wchar_t* end = nullptr;
  long long value = std::wcstoll(text.c_str(), &end, 0);
  if (end == text.c_str()) return fallback;
  if (text.size() > 2 && (text[1] == L'x' || text[1] == L'X')) {
    value = static_cast<long long>(std::wcstoull(text.c_str(), &end, 0));
  }
  return value;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// Windows' profile functions rewrite the whole file at every write, and every program of a test
// reads the bench afresh at each call: one reading meanwhile could find the file empty, and see
// every instrument unplugged for a moment. A named mutex per bench folder keeps each profile
// call whole.
class BenchFileLock {
 public:
  explicit BenchFileLock(const std::wstring& iniPath) : m_mutex(CreateMutexW(nullptr, FALSE, Name(iniPath).c_str())) {
    if (m_mutex != nullptr) WaitForSingleObject(m_mutex, INFINITE);  // an abandoned one is taken all the same
  }
  ~BenchFileLock() {
    if (m_mutex == nullptr) return;
    ReleaseMutex(m_mutex);
    CloseHandle(m_mutex);
  }
  BenchFileLock(const BenchFileLock&) = delete;
  BenchFileLock& operator=(const BenchFileLock&) = delete;

 private:
  // A mutex name takes no backslash: the path's FNV-1a hash, case folded.
  static std::wstring Name(const std::wstring& iniPath) {
    std::uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : Lower(iniPath)) hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
    wchar_t name[64];
    std::swprintf(name, 64, L"Local\\KnBench.%016llx", static_cast<unsigned long long>(hash));
    return name;
  }

  HANDLE m_mutex;
};

// One section read in one call of the profile functions: an instrument has some thirty keys,
// and each separate read parses the whole file again.
class SectionValues {
 public:
  SectionValues(const std::wstring& iniPath, const std::wstring& section) {
    std::wstring buffer(4096, L'\0');
    for (;;) {
      const BenchFileLock lock(iniPath);
      const DWORD length = GetPrivateProfileSectionW(section.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()),
                                                     iniPath.c_str());
      if (length + 2 < buffer.size()) {
        buffer.resize(length);
        break;
      }
      buffer.resize(buffer.size() * 2);
    }
    for (std::size_t start = 0; start < buffer.size();) {
      std::size_t end = buffer.find(L'\0', start);
      if (end == std::wstring::npos) end = buffer.size();
      const std::wstring line = buffer.substr(start, end - start);
      const std::size_t equals = line.find(L'=');
      if (equals != std::wstring::npos) values_[Lower(line.substr(0, equals))] = line.substr(equals + 1);
      start = end + 1;
    }
  }

  std::wstring String(const std::wstring& key, const std::wstring& fallback) const {
    const auto found = values_.find(Lower(key));
    return found == values_.end() ? fallback : found->second;
  }
  std::int64_t Int(const std::wstring& key, std::int64_t fallback) const { return ParseInt(String(key, L""), fallback); }

 private:
  std::map<std::wstring, std::wstring> values_;
};

std::wstring FaultKey(Operation op, const wchar_t* name) {
  return std::wstring(L"fault.") + OperationName(op) + L"." + name;
}

const wchar_t* DriverName(DfuDriver driver) {
  switch (driver) {
    case DfuDriver::kPresent: return L"present";
    case DfuDriver::kMissing: return L"missing";
    case DfuDriver::kOutdated: return L"outdated";
  }
  return L"present";
}

}  // namespace

Bench::Bench(std::wstring folder) : folder_(std::move(folder)) {
  while (!folder_.empty() && (folder_.back() == L'\\' || folder_.back() == L'/')) folder_.pop_back();
}

std::wstring Bench::FolderFromEnvironment() {
  wchar_t buffer[MAX_PATH * 2];
  DWORD length = GetEnvironmentVariableW(kEnvironmentVariable, buffer, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return std::wstring();
  return std::wstring(buffer, length);
}

std::wstring Bench::UpdateMarkName() const {
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD length = GetFullPathNameW(folder_.c_str(), MAX_PATH * 2, full, nullptr);
  std::wstring path = length > 0 && length < MAX_PATH * 2 ? std::wstring(full, length) : folder_;
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  std::uint32_t hash = 2166136261u;  // FNV-1a over the folder, case folded as Windows compares paths
  for (wchar_t c : path) {
    hash = (hash ^ static_cast<std::uint32_t>(std::towlower(c) & 0xFFFF)) * 16777619u;
  }
  wchar_t name[96];
  std::swprintf(name, 96, L"Global\\QM_TWBootloader.UpdateUnderWay.bench-%08X", static_cast<unsigned>(hash));
  return name;
}

std::int64_t Bench::NowMs() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks{};
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  return static_cast<std::int64_t>(ticks.QuadPart / 10000);
}

std::int64_t Bench::ClockMs() const {
  if (ReadString(kBenchSection, kClockKey, L"system") != kManualClock) return NowMs();
  return ReadInt(kBenchSection, kClockMsKey, 0);
}

bool Bench::UseManualClock(std::int64_t startMs) {
  return WriteInt(kBenchSection, kClockMsKey, startMs) && WriteString(kBenchSection, kClockKey, kManualClock);
}

bool Bench::AdvanceClock(std::int64_t milliseconds) {
  if (ReadString(kBenchSection, kClockKey, L"system") != kManualClock) return true;
  return WriteInt(kBenchSection, kClockMsKey, ReadInt(kBenchSection, kClockMsKey, 0) + milliseconds);
}

bool Bench::Create() {
  if (!CreateDirectoryW(folder_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  if (!IsReadable()) {
    // A byte-order mark makes the profile functions keep the file in UTF-16.
    HANDLE file = CreateFileW(IniPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const unsigned char bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    BOOL ok = WriteFile(file, bom, sizeof bom, &written, nullptr);
    CloseHandle(file);
    if (!ok) return false;
  }
  return WriteString(kBenchSection, kInstrumentsKey, JoinList(InstrumentIds())) &&
         SetDfuDriver(GetDfuDriver());
}

bool Bench::IsReadable() const {
  DWORD attributes = GetFileAttributesW(IniPath().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring Bench::IniPath() const { return folder_ + L"\\" + kIniName; }

std::wstring Bench::MemoryPath(const std::wstring& id, Memory memory) const {
  return folder_ + L"\\" + id + L"." + MemoryName(memory) + L".bin";
}

std::wstring Bench::TracePath() const { return folder_ + L"\\" + kTraceName; }

DfuDriver Bench::GetDfuDriver() const {
  std::wstring name = ReadString(kBenchSection, kDfuDriverKey, L"present");
  for (DfuDriver driver : {DfuDriver::kPresent, DfuDriver::kMissing, DfuDriver::kOutdated}) {
    if (name == DriverName(driver)) return driver;
  }
  return DfuDriver::kPresent;
}

bool Bench::SetDfuDriver(DfuDriver driver) { return WriteString(kBenchSection, kDfuDriverKey, DriverName(driver)); }

std::vector<std::wstring> Bench::InstrumentIds() const {
  return SplitList(ReadString(kBenchSection, kInstrumentsKey, L""));
}

bool Bench::Load(const std::wstring& id, Instrument* instrument) const {
  const SectionValues values(IniPath(), InstrumentSection(id));
  // A section without its mode was never saved.
  const std::wstring mode = values.String(L"mode", L"");
  if (instrument == nullptr || mode.empty()) return false;
  Instrument loaded;
  loaded.id = id;
  if (!ParseMode(mode, &loaded.mode)) loaded.mode = Mode::kAbsent;
  loaded.product = values.String(L"product", loaded.product);
  // Benches written before instruments had serial numbers: the id stands in, as it did.
  loaded.serial = values.String(L"serial", id);
  loaded.model = static_cast<std::uint32_t>(values.Int(L"model", loaded.model));
  loaded.bus_address = static_cast<std::uint32_t>(values.Int(L"address", loaded.bus_address));
  loaded.mode_changed_at = values.Int(L"modeChangedAt", 0);
  loaded.reenumeration_ms = static_cast<std::uint32_t>(values.Int(L"reenumerationMs", loaded.reenumeration_ms));
  loaded.loader_linger_ms = static_cast<std::uint32_t>(values.Int(L"loaderLingerMs", loaded.loader_linger_ms));
  loaded.driver_api_version =
      static_cast<std::uint16_t>(values.Int(L"driverApiVersion", loaded.driver_api_version));
  loaded.sector_size = static_cast<std::uint16_t>(values.Int(L"sectorSize", loaded.sector_size));
  loaded.flash_top = static_cast<std::uint32_t>(values.Int(L"flashTop", loaded.flash_top));
  loaded.app_start_address = static_cast<std::uint32_t>(values.Int(L"appStartAddress", loaded.app_start_address));
  loaded.eeprom_size = static_cast<std::uint32_t>(values.Int(L"eepromSize", loaded.eeprom_size));
  loaded.nand_size = static_cast<std::uint32_t>(values.Int(L"nandSize", loaded.nand_size));
  loaded.bytes_per_second = static_cast<std::uint32_t>(values.Int(L"bytesPerSecond", loaded.bytes_per_second));
  loaded.transfer_size = static_cast<std::uint32_t>(values.Int(L"transferSize", loaded.transfer_size));
  if (loaded.transfer_size == 0) loaded.transfer_size = 1;
  loaded.params_fault = static_cast<int>(values.Int(L"fault.params", 0));
  loaded.product_string_unreadable = values.Int(L"fault.productStringUnreadable", 0) != 0;
  for (int i = 0; i < kOperationCount; ++i) {
    Operation op = static_cast<Operation>(i);
    WriteFault& fault = loaded.fault(op);
    fault.verify_failure = values.Int(FaultKey(op, L"verifyFailure"), 0) != 0;
    fault.error_code = static_cast<int>(values.Int(FaultKey(op, L"error"), 0));
    fault.unplug_after = values.Int(FaultKey(op, L"unplugAfter"), -1);
    fault.skip = static_cast<int>(values.Int(FaultKey(op, L"skip"), 0));
  }
  *instrument = loaded;
  return true;
}

std::vector<Instrument> Bench::LoadAll() const {
  std::vector<Instrument> instruments;
  for (const std::wstring& id : InstrumentIds()) {
    Instrument instrument;
    if (Load(id, &instrument)) instruments.push_back(instrument);
  }
  return instruments;
}

bool Bench::Save(const Instrument& instrument) {
  if (instrument.id.empty() || instrument.id.find_first_of(L",\\/:*?\"<>| ") != std::wstring::npos) return false;
  const std::wstring section = InstrumentSection(instrument.id);
  bool ok = WriteString(section, L"product", instrument.product) &&
            WriteString(section, L"serial", instrument.serial) &&
            WriteInt(section, L"model", instrument.model) &&
            WriteHex(section, L"address", instrument.bus_address) &&
            WriteString(section, L"mode", ModeName(instrument.mode)) &&
            WriteInt(section, L"modeChangedAt", instrument.mode_changed_at) &&
            WriteInt(section, L"reenumerationMs", instrument.reenumeration_ms) &&
            WriteInt(section, L"loaderLingerMs", instrument.loader_linger_ms) &&
            WriteHex(section, L"driverApiVersion", instrument.driver_api_version) &&
            WriteInt(section, L"sectorSize", instrument.sector_size) &&
            WriteHex(section, L"flashTop", instrument.flash_top) &&
            WriteHex(section, L"appStartAddress", instrument.app_start_address) &&
            WriteHex(section, L"eepromSize", instrument.eeprom_size) &&
            WriteHex(section, L"nandSize", instrument.nand_size) &&
            WriteInt(section, L"bytesPerSecond", instrument.bytes_per_second) &&
            WriteInt(section, L"transferSize", instrument.transfer_size) &&
            WriteInt(section, L"fault.params", instrument.params_fault) &&
            WriteInt(section, L"fault.productStringUnreadable", instrument.product_string_unreadable ? 1 : 0);
  for (int i = 0; i < kOperationCount && ok; ++i) {
    Operation op = static_cast<Operation>(i);
    const WriteFault& fault = instrument.fault(op);
    ok = WriteInt(section, FaultKey(op, L"verifyFailure"), fault.verify_failure ? 1 : 0) &&
         WriteInt(section, FaultKey(op, L"error"), fault.error_code) &&
         WriteInt(section, FaultKey(op, L"unplugAfter"), fault.unplug_after) &&
         WriteInt(section, FaultKey(op, L"skip"), fault.skip);
  }
  if (!ok) return false;
  std::vector<std::wstring> ids = InstrumentIds();
  for (const std::wstring& id : ids) {
    if (id == instrument.id) return true;
  }
  ids.push_back(instrument.id);
  return WriteString(kBenchSection, kInstrumentsKey, JoinList(ids));
}

bool Bench::SetMode(const std::wstring& id, Mode mode) {
  const std::wstring section = InstrumentSection(id);
  if (ReadString(section, L"mode", L"").empty()) return false;
  // The stamp goes first: a reader in between sees the old mode with a fresh delay running.
  return WriteInt(section, L"modeChangedAt", ClockMs()) && WriteString(section, L"mode", ModeName(mode));
}

bool Bench::ReadMemory(const std::wstring& id, Memory memory, std::uint32_t address, std::uint8_t* out,
                       std::uint32_t length) const {
  Instrument instrument;
  MemoryFile file;
  return Load(id, &instrument) && file.Open(MemoryPath(id, memory), MemorySize(instrument, memory)) &&
         file.Read(address, out, length);
}

bool Bench::WriteMemory(const std::wstring& id, Memory memory, std::uint32_t address, const std::uint8_t* data,
                        std::uint32_t length) {
  Instrument instrument;
  MemoryFile file;
  return Load(id, &instrument) && file.Open(MemoryPath(id, memory), MemorySize(instrument, memory)) &&
         file.Write(address, data, length);
}

bool Bench::TakeFault(const std::wstring& id, Operation op) {
  Instrument instrument;
  if (!Load(id, &instrument) || !instrument.fault(op).Any()) return false;
  int skip = instrument.fault(op).skip;
  if (skip <= 0) return true;
  WriteInt(InstrumentSection(id), FaultKey(op, L"skip"), skip - 1);
  return false;
}

std::wstring Bench::InstrumentSection(const std::wstring& id) { return L"instrument." + id; }

std::wstring Bench::ReadString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& fallback) const {
  std::wstring buffer(1024, L'\0');
  for (;;) {
    const BenchFileLock lock(IniPath());
    DWORD length = GetPrivateProfileStringW(section.c_str(), key.c_str(), fallback.c_str(), &buffer[0],
                                            static_cast<DWORD>(buffer.size()), IniPath().c_str());
    if (length + 1 < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::int64_t Bench::ReadInt(const std::wstring& section, const std::wstring& key, std::int64_t fallback) const {
  return ParseInt(ReadString(section, key, L""), fallback);
}

bool Bench::WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
  const BenchFileLock lock(IniPath());
  return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), IniPath().c_str()) != FALSE;
}

bool Bench::WriteInt(const std::wstring& section, const std::wstring& key, std::int64_t value) {
  return WriteString(section, key, std::to_wstring(value));
}

bool Bench::WriteHex(const std::wstring& section, const std::wstring& key, std::uint32_t value) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%X", value);
  return WriteString(section, key, text);
}

bool Bench::AppendTrace(const std::string& line) {
  HANDLE file = CreateFileW(TracePath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string text = line + "\n";
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

}  // namespace sim
