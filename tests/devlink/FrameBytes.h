// Frames as byte vectors, for tests that compare or script what goes over the wire.
#pragma once

#include <cstdint>
#include <vector>

#include "devlink/Frame.h"

using Bytes = std::vector<std::uint8_t>;

inline Bytes Framed(std::uint8_t address, const Bytes& payload) {
  Bytes out(payload.size() + frame::kOverhead);
  frame::Build(address, payload.data(), static_cast<std::uint8_t>(payload.size()), out.data());
  return out;
}
