// Stored entry names, as any producer (or attacker) may write them, through the cleaning rule
// and the safety test. Input: UTF-16LE units. Promises: cleaning only drops a prefix, ends,
// and needs no second pass; an accepted name stays below the root, holds no ':', no NUL, no
// step of dots only, no component Windows would rename, and no device name.
#include <cstdint>
#include <string>

#include "archive/EntryName.h"
#include "fuzz/FuzzInput.h"

namespace {

using archive::IsPathSeparator;

std::wstring UpperAscii(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  }
  return text;
}

// Every name Windows maps to a device, whatever the directory and the extension.
bool NamesADevice(const std::wstring& component) {
  std::wstring base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  base = UpperAscii(base);
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (base == device) return true;
  }
  for (const wchar_t* port : {L"COM", L"LPT"}) {
    for (const wchar_t digit : std::wstring(L"0123456789\u00B9\u00B2\u00B3")) {
      if (base == std::wstring(port) + digit) return true;
    }
  }
  return false;
}

void CheckAccepted(const std::wstring& name) {
  FUZZ_REQUIRE(!name.empty() && !IsPathSeparator(name[0]));
  FUZZ_REQUIRE(name.find(L':') == std::wstring::npos);
  FUZZ_REQUIRE(name.find(L'\0') == std::wstring::npos);
  int depth = 0;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsPathSeparator(name[end])) ++end;
    const std::wstring component = name.substr(start, end - start);
    if (component == L"..") --depth;
    else if (!component.empty() && component != L".") ++depth;
    FUZZ_REQUIRE(depth >= 0);  // never above the root
    FUZZ_REQUIRE(component.size() < 2 || component.find_first_not_of(L'.') != std::wstring::npos);
    FUZZ_REQUIRE(component == L"." || component.empty() || (component.back() != L' ' && component.back() != L'.'));
    FUZZ_REQUIRE(!NamesADevice(component));
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  std::wstring name;
  while (input.Remaining() >= 2) name.push_back(static_cast<wchar_t>(input.Take(2)));

  const std::wstring cleaned = archive::CleanEntryName(name);
  FUZZ_REQUIRE(cleaned.size() <= name.size());
  FUZZ_REQUIRE(name.compare(name.size() - cleaned.size(), cleaned.size(), cleaned) == 0);
  FUZZ_REQUIRE(archive::CleanEntryName(cleaned) == cleaned);

  for (const std::wstring* candidate : {static_cast<const std::wstring*>(&name), &cleaned}) {
    if (archive::IsSafeRelativeName(*candidate)) CheckAccepted(*candidate);
  }
  return 0;
}
