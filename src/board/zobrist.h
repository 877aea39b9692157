// The engine's own Zobrist keys, drawn from a fixed linear congruential generator so that keys are
// the same on every platform and C library.
#pragma once

#include <cstdint>

namespace varnu {

struct ZobristKeys {
  // Indexed by (6 * colour + type) * 64 + square64; the first 64 entries (no piece) stay 0.
  uint64_t pieceSquare[13 * 64];
  uint64_t castling[4];  // by castling-right bit number
  uint64_t epFile[8];
  uint64_t side;  // XORed in when black is to move
};

// The generator: 32-bit state, seeded with 327641845, yielding 15-bit outputs.
class KeyGenerator {
 public:
  constexpr int next() {
    state_ = state_ * 214013u + 2531011u;
    return int((state_ >> 16) & 0x7FFF);
  }
  // One key from six outputs, each cut to its low 11 bits.
  constexpr uint64_t nextKey() {
    uint64_t key = 0;
    for (int i = 0; i < 6; ++i) key = (key << 11) + uint64_t(next() & 0x7FF);
    return key;
  }

 private:
  uint32_t state_ = 327641845u;
};

constexpr ZobristKeys makeZobristKeys() {
  ZobristKeys z{};
  KeyGenerator gen;
  for (int colour = 0; colour < 2; ++colour)
    for (int type = 1; type <= 6; ++type)
      for (int index = 0; index < 64; ++index) z.pieceSquare[(6 * colour + type) * 64 + index] = gen.nextKey();
  for (uint64_t& k : z.castling) k = gen.nextKey();
  for (uint64_t& k : z.epFile) k = gen.nextKey();
  z.side = gen.nextKey();
  return z;
}

inline constexpr ZobristKeys zobrist = makeZobristKeys();

constexpr uint64_t pieceSquareKey(int colour, int type, int index64) {
  return zobrist.pieceSquare[(6 * colour + type) * 64 + index64];
}

}  // namespace varnu
