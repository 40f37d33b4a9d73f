// The texts that decide which instrument gets a firmware: product strings that devices
// report, a manifest's device type, and the product texts of the DFU devices seen against
// those kept from the last refresh. Input: a device type and a product
// (length-prefixed, UTF-16LE), then product texts for the kept and the seen lists. Promises:
// a match means the product names the type or its older family, and an empty type matches none; only the two aliased types can
// be "not for the device"; a device counts as
// arrived exactly when its text is now more frequent than before.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "procedure/DeviceMatch.h"

namespace {

std::wstring Text(fuzz::Input& input) {
  const std::size_t length = static_cast<std::size_t>(input.Take(1));
  std::wstring text;
  for (std::size_t i = 0; i < length && input.Remaining() >= 2; ++i) text.push_back(static_cast<wchar_t>(input.Take(2)));
  return text;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::wstring deviceType = Text(input);
  const std::wstring product = Text(input);

  const DeviceMatch match = MatchDeviceType(product, deviceType);
  const bool aliased = deviceType == L"TW 3xx" || deviceType == L"QM 5xx";
  const std::wstring older = deviceType == L"TW 3xx" ? L"VX 3xx" : L"VX 5xx";
  if (deviceType.empty()) {
    FUZZ_REQUIRE(match == DeviceMatch::kNotForDevice);
  } else if (Contains(product, deviceType)) {
    FUZZ_REQUIRE(match == DeviceMatch::kMatch);
  } else if (aliased) {
    FUZZ_REQUIRE(match == (Contains(product, older) ? DeviceMatch::kMatch : DeviceMatch::kNotForDevice));
  } else {
    FUZZ_REQUIRE(match == DeviceMatch::kUnknownType);
  }

  std::vector<std::wstring> kept, seen;
  const std::size_t keptCount = static_cast<std::size_t>(input.Take(1) % 8);
  for (std::size_t i = 0; i < keptCount; ++i) kept.push_back(Text(input));
  while (input.Remaining() > 0 && seen.size() < 16) {
    seen.push_back(Text(input));
    const bool arrived = ArrivedSinceRefresh(seen, kept);
    const auto now = std::count(seen.begin(), seen.end(), seen.back());
    const auto before = std::count(kept.begin(), kept.end(), seen.back());
    FUZZ_REQUIRE(arrived == (now > before));
  }
  return 0;
}
