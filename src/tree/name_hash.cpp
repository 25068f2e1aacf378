#include "tree/name_hash.h"

#include <chrono>
#include <random>

namespace kelmo {
namespace {

struct Key {
  uint64_t k0;
  uint64_t k1;
};

inline uint64_t Rotate(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

struct SipState {
  uint64_t v0, v1, v2, v3;

  explicit SipState(const Key& key)
      : v0(key.k0 ^ 0x736f6d6570736575ull),
        v1(key.k1 ^ 0x646f72616e646f6dull),
        v2(key.k0 ^ 0x6c7967656e657261ull),
        v3(key.k1 ^ 0x7465646279746573ull) {}

  void Round() {
    v0 += v1; v1 = Rotate(v1, 13); v1 ^= v0; v0 = Rotate(v0, 32);
    v2 += v3; v3 = Rotate(v3, 16); v3 ^= v2;
    v0 += v3; v3 = Rotate(v3, 21); v3 ^= v0;
    v2 += v1; v1 = Rotate(v1, 17); v1 ^= v2; v2 = Rotate(v2, 32);
  }
  void Absorb(uint64_t word) {
    v3 ^= word;
    Round();
    v0 ^= word;
  }
  uint64_t Finish() {
    v2 ^= 0xff;
    Round();
    Round();
    Round();
    return v0 ^ v1 ^ v2 ^ v3;
  }
};

// The random device is the source of the key; the clock and an address
// (which address-space layout randomisation moves) are mixed in, so the key
// still differs between runs where the device is weak or missing.
Key DrawKey() {
  Key key{0, 0};
  try {
    std::random_device device;
    key.k0 = (uint64_t(device()) << 32) ^ device();
    key.k1 = (uint64_t(device()) << 32) ^ device();
  } catch (...) {
    // No device: the clock and the address below still vary.
  }
  const auto ticks = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  static const int anchor = 0;
  key.k0 ^= ticks;
  key.k1 ^= reinterpret_cast<uintptr_t>(&anchor);
  SipState mix(key);
  mix.Absorb(ticks);
  key.k1 ^= mix.Finish();
  return key;
}

const Key& ProcessKey() {
  static const Key key = DrawKey();
  return key;
}

}  // namespace

uint64_t NameHash(const WChar* text, uint32_t length) {
  SipState state(ProcessKey());
  // Four units to a word, little-endian, whatever the machine's order.
  uint32_t i = 0;
  for (; i + 4 <= length; i += 4) {
    uint64_t word = 0;
    for (int k = 0; k < 4; ++k) word |= uint64_t(static_cast<uint16_t>(text[i + k])) << (16 * k);
    state.Absorb(word);
  }
  uint64_t last = uint64_t(length * 2u & 0xff) << 56;
  for (int k = 0; i < length; ++i, ++k) last |= uint64_t(static_cast<uint16_t>(text[i])) << (16 * k);
  state.Absorb(last);
  return state.Finish();
}

}  // namespace kelmo
