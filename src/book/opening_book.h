// Opening moves from a book file in the Polyglot binary format.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "board/position.h"

namespace varnu {

// The standard Polyglot key of a position.
uint64_t polyglotKey(const Position& pos);

// One record of a book file: 16 bytes, every number big-endian.
struct BookEntry {
  uint64_t key;
  uint16_t move;    // Polyglot move encoding
  uint16_t weight;  // relative frequency of the move
  uint32_t learn;   // read and not used
};

inline constexpr int BookEntrySize = 16;
// A probe considers at most this many records of one position.
inline constexpr int MaxBookCandidates = 256;

// Decodes a record from its 16 bytes, most significant byte first, whatever the host's order.
BookEntry decodeBookEntry(const unsigned char (&bytes)[BookEntrySize]);

// Our Move for a Polyglot move in the position: the king moving onto its own rook (or two squares)
// from its home square becomes castling, a pawn onto the en-passant square an en-passant capture,
// a pawn's two-square advance carries the double-step flag. Returns the null move for promotion
// fields 5 to 7. The result is not checked for legality.
Move convertBookMove(const Position& pos, uint16_t bookMove);

// The seed for the book's generator: milliseconds of the UTC day times the seconds since 1970,
// wrapping in 32 bits, for a wall-clock time given in milliseconds since 1970.
uint32_t timeOfDaySeed(int64_t unixMilliseconds);

// The small generator behind the weighted choice: a 64-bit linear congruential generator whose
// outputs are 15 bits wide, 0 to 32767.
class BookRandom {
 public:
  explicit BookRandom(uint32_t seed) : state_(seed) {}
  int next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return int((state_ >> 33) & 0x7FFF);
  }

 private:
  uint64_t state_;
};

// The book: a file path and the generator. The file is opened and closed within each probe, so it
// can be replaced between moves. setPath may run on the command thread while probe runs on the
// search thread.
class OpeningBook {
 public:
  // Seeds the generator from the current time of day.
  explicit OpeningBook(std::string_view path);
  // Seeds the generator with a fixed value, so that a sequence of probes repeats.
  OpeningBook(std::string_view path, uint32_t seed);

  // Points the book at another file; the next probe reads it.
  void setPath(std::string_view path);
  std::string path() const;
  // A book move for the position, or the null move when the book has none. Only moves among the
  // position's legal moves are ever returned. failure is the system's error code of a seek or
  // read that failed, 0 when none did or the system gave no reason (an early end of file).
  Move probe(Position& pos, int& failure);
  Move probe(Position& pos) {
    int failure;
    return probe(pos, failure);
  }

 private:
  // A number from 0 to 2^30 - 1 made of two 15-bit outputs.
  uint32_t nextRandom30();

  mutable std::mutex mutex_;  // guards path_ and random_
  std::string path_;
  BookRandom random_;
};

}  // namespace varnu
