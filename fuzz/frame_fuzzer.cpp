// The instruments' frames. Input: an address, a byte count (4), a join's buffer size, bytes
// received (2) and segment count, then the bytes. Promises: a built frame is intact and
// carries its length, and a payload too long for the length byte is refused without a write;
// the segment count never wraps; a join never leaves the buffer (exactly its size) or the bytes
// received (what lies past them is poisoned), and its payload fits both.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "devlink/Frame.h"
#include "fuzz/FuzzInput.h"

namespace {

void CheckBuild(std::uint8_t address, const std::string& payload) {
  std::vector<std::uint8_t> out(payload.size() + frame::kOverhead, 0xEE);
  const std::size_t length =
      frame::Build(address, reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size(), out.data());
  if (payload.size() > frame::kMaxPayload) {
    FUZZ_REQUIRE(length == 0);
    FUZZ_REQUIRE(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0xEE; }));
    return;
  }
  FUZZ_REQUIRE(length == payload.size() + frame::kOverhead);
  FUZZ_REQUIRE(out[frame::kAddressOffset] == address && out[frame::kLengthOffset] == length);
  FUZZ_REQUIRE(std::memcmp(out.data() + frame::kPayloadOffset, payload.data(), payload.size()) == 0);
  FUZZ_REQUIRE(frame::Sum(out.data(), length) == 0 && out[length - 1] == 0);
}

void CheckSegmentCount(std::uint32_t bytes) {
  const std::uint32_t segments = frame::SegmentCount(bytes);
  const std::uint64_t expected = bytes <= frame::kMaxFrame ? 1 : (std::uint64_t{bytes} + 191) / 192;
  FUZZ_REQUIRE(segments >= 1 && segments == expected);
}

void CheckJoin(std::size_t bufferSize, std::size_t received, std::uint32_t segments, std::uint8_t address,
               const std::string& bytes) {
  std::vector<std::uint8_t> buffer(bufferSize);
  std::memcpy(buffer.data(), bytes.data(), std::min(bufferSize, bytes.size()));
  // What lies past the bytes received was never received: any access there is a fault.
  const std::size_t unreceived = received < bufferSize ? bufferSize - received : 0;
  ASAN_POISON_MEMORY_REGION(buffer.data() + bufferSize - unreceived, unreceived);
  std::size_t payloadLength = 12345;
  const bool joined = frame::JoinSegments(buffer.data(), buffer.size(), received, segments, address, payloadLength);
  ASAN_UNPOISON_MEMORY_REGION(buffer.data() + bufferSize - unreceived, unreceived);
  if (joined) FUZZ_REQUIRE(payloadLength <= std::min(bufferSize, received));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const auto address = static_cast<std::uint8_t>(input.Take(1));
  const auto byteCount = static_cast<std::uint32_t>(input.Take(4));
  const auto bufferSize = static_cast<std::size_t>(input.Take(1)) + 1;
  const auto received = static_cast<std::size_t>(input.Take(2));
  const auto segments = static_cast<std::uint32_t>(input.Take(1) % 16);
  const std::string bytes = input.TakeRest();

  CheckBuild(address, bytes);
  CheckSegmentCount(byteCount);
  CheckJoin(bufferSize, received, segments, address, bytes);
  return 0;
}
