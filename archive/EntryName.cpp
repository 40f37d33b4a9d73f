#include "archive/EntryName.h"

#include <cwchar>

namespace archive {
namespace {

bool DropPrefixUpTo(std::wstring& name, const wchar_t* marker) {
  const std::size_t at = name.find(marker);
  if (at == std::wstring::npos) return false;
  name.erase(0, at + std::wcslen(marker));
  return true;
}

bool ApplyOneCleaningRule(std::wstring& name) {
  if (name.size() >= 2 && name[0] != 0 && name[1] == L':') {
    name.erase(0, 2);
    return true;
  }
  if (!name.empty() && IsPathSeparator(name[0])) {
    name.erase(0, 1);
    return true;
  }
  for (const wchar_t* marker : {L"\\..\\", L"\\../", L"/../", L"/..\\"}) {
    if (DropPrefixUpTo(name, marker)) return true;
  }
  return false;
}

std::wstring UpperAscii(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

// Windows reads the superscript digits one, two and three as digits in port names.
bool IsPortDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3'; }

// Windows maps these names to devices in any directory, whatever extension follows.
bool IsDeviceName(const std::wstring& component) {
  std::wstring base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  base = UpperAscii(base);
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (base == device) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0)) {
    return IsPortDigit(base[3]);
  }
  return false;
}

bool IsDotsOnly(const std::wstring& component) {
  return component.size() >= 2 && component.find_first_not_of(L'.') == std::wstring::npos;
}

// Windows drops trailing spaces and dots from a component, so "m.bin " would quietly open
// "m.bin": such a name stands for another file than the one it spells.
bool EndsInSpaceOrDot(const std::wstring& component) {
  return component != L"." && !component.empty() && (component.back() == L' ' || component.back() == L'.');
}

}  // namespace

std::wstring CleanEntryName(std::wstring name) {
  while (ApplyOneCleaningRule(name)) {
  }
  return name;
}

bool IsSafeRelativeName(const std::wstring& name) {
  if (name.empty() || IsPathSeparator(name[0])) return false;
  if (name.find(L':') != std::wstring::npos) return false;
  if (name.find(L'\0') != std::wstring::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsPathSeparator(name[end])) ++end;
    const std::wstring component = name.substr(start, end - start);
    if (IsDotsOnly(component) || EndsInSpaceOrDot(component) || IsDeviceName(component)) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace archive
