// Taking a fuzzer's bytes apart into the arguments of a rule, and stating what must hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// A promise of the rule under test that did not hold: report and stop, as a crash would.
#define FUZZ_REQUIRE(condition)                                                      \
  do {                                                                               \
    if (!(condition)) {                                                              \
      std::fprintf(stderr, "%s:%d: promise broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  std::size_t Remaining() const { return m_size - m_at; }

  // Little-endian; missing bytes read as 0.
  std::uint64_t Take(std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
      const std::uint64_t byte = m_at < m_size ? m_data[m_at++] : 0;
      value |= byte << (8 * i);
    }
    return value;
  }

  std::string TakeRest() {
    std::string rest(reinterpret_cast<const char*>(m_data) + m_at, m_size - m_at);
    m_at = m_size;
    return rest;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

}  // namespace fuzz
