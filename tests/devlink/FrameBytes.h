// Frames as byte vectors, for tests that compare or script what goes over the wire.
#pragma once

#include <cstdint>
#include <vector>

#include "devlink/Frame.h"

using Bytes = std::vector<std::uint8_t>;

// Empty for a payload no frame can carry.
inline Bytes Framed(std::uint8_t address, const Bytes& payload) {
  Bytes out(payload.size() + frame::kOverhead);
  out.resize(frame::Build(address, payload.data(), payload.size(), out.data()));
  return out;
}
