#include "procedure/DeviceMatch.h"

#include <algorithm>

#include "text/LineFeed.h"

namespace {

struct Alias {
  const wchar_t* deviceType;
  const wchar_t* alsoAccepted;
};

// Packages of these types also serve the instruments sold under the older family names.
constexpr Alias kDeviceTypeAliases[] = {{L"TW 3xx", L"VX 3xx"}, {L"QM 5xx", L"VX 5xx"}};

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

}  // namespace

DeviceMatch MatchDeviceType(const std::wstring& product, const std::wstring& deviceType) {
  // An empty type would be found in every product: it is no instrument's.
  if (deviceType.empty()) return DeviceMatch::kNotForDevice;
  if (Contains(product, deviceType)) return DeviceMatch::kMatch;
  for (const Alias& alias : kDeviceTypeAliases) {
    if (deviceType == alias.deviceType) {
      return Contains(product, alias.alsoAccepted) ? DeviceMatch::kMatch : DeviceMatch::kNotForDevice;
    }
  }
  return DeviceMatch::kUnknownType;
}

bool ArrivedSinceRefresh(const std::vector<std::wstring>& seenSoFar, const std::vector<std::wstring>& keptProducts) {
  if (seenSoFar.empty()) return false;
  const std::wstring& product = seenSoFar.back();
  return std::count(seenSoFar.begin(), seenSoFar.end(), product) >
         std::count(keptProducts.begin(), keptProducts.end(), product);
}
