#include "book/opening_book.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "board/move.h"
#include "board/movegen.h"
#include "book/book_keys.h"

namespace varnu {

namespace {

// The value of `size` bytes read most significant first.
uint64_t readBigEndian(const unsigned char* bytes, int size) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | bytes[i];
  return value;
}

// A castling as a book writes it: the king on its home square moving onto its own rook, or the
// two squares our own notation uses.
struct BookCastling {
  uint8_t kingFrom;
  uint8_t rookSquare;
  uint8_t kingTo;
  uint8_t colour;
  uint8_t code;  // index into castlingMoves
};

constexpr BookCastling bookCastlings[4] = {
    {E1, H1, G1, White, 0}, {E1, A1, C1, White, 1}, {E8, H8, G8, Black, 2}, {E8, A8, C8, Black, 3}};

bool holds(const Position& pos, int square, int colour, int type) {
  return pos.pieceType[square] == type && pos.colour[square] == colour;
}

// A book file opened for one probe. Only regular files are opened: a directory or a pipe named
// as the book gives no book moves (opening a pipe could block the search thread). Offsets are
// std::streamoff, 64 bits wide on every platform we build for, so books beyond 2 GiB are read
// where a C `long` has 32 bits.
class BookFile {
 public:
  explicit BookFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return;
    file_.open(path, std::ios::in | std::ios::binary);
  }
  BookFile(const BookFile&) = delete;
  BookFile& operator=(const BookFile&) = delete;

  bool isOpen() const { return file_.is_open(); }

  // Takes the record count from the open file itself, so that a file replaced since the last
  // probe is searched with its own length. A shorter tail is ignored. False when the size cannot
  // be learnt.
  bool measure() {
    const std::streamoff size = file_.pubseekoff(0, std::ios::end, std::ios::in);
    if (size < 0) return false;
    count_ = uint32_t(std::min<uint64_t>(uint64_t(size) / BookEntrySize, UINT32_MAX));
    return true;
  }

  uint32_t count() const { return count_; }

  // Reads the first `size` bytes of record `index` (below count()).
  bool read(uint32_t index, unsigned char* bytes, size_t size) {
    assert(index < count_ && size <= size_t(BookEntrySize));
    const std::streamoff at = std::streamoff(index) * BookEntrySize;
    if (std::streamoff(file_.pubseekpos(at, std::ios::in)) != at) return false;
    const auto wanted = std::streamsize(size);
    return file_.sgetn(reinterpret_cast<char*>(bytes), wanted) == wanted;
  }

  bool readEntry(uint32_t index, BookEntry& entry) {
    unsigned char bytes[BookEntrySize];
    if (!read(index, bytes, sizeof bytes)) return false;
    entry = decodeBookEntry(bytes);
    return true;
  }

 private:
  std::filebuf file_;
  uint32_t count_ = 0;
};

// Binary search for any record with the key. Returns its index, or -1 when there is none or a
// seek or read fails.
int64_t findKey(BookFile& file, uint64_t key, int& failure) {
  int64_t lo = 0, hi = int64_t(file.count()) - 1;
  while (lo <= hi) {
    const int64_t mid = (lo + hi + 1) / 2;
    unsigned char bytes[8];
    errno = 0;
    if (!file.read(uint32_t(mid), bytes, sizeof bytes)) {
      failure = errno;
      return -1;
    }
    const uint64_t found = readBigEndian(bytes, 8);
    if (found == key) return mid;
    if (found > key) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  return -1;
}

// Collects the records with the key around the one the search found: that one first, then those
// before it going backwards, then those after it. Returns the number collected, 0 on any read
// failure.
int collectCandidates(BookFile& file, uint32_t found, uint64_t key,
                      BookEntry (&candidates)[MaxBookCandidates]) {
  int n = 0;
  BookEntry entry;
  if (!file.readEntry(found, entry) || entry.key != key) return 0;
  candidates[n++] = entry;
  for (int64_t i = int64_t(found) - 1; i >= 0 && n < MaxBookCandidates; --i) {
    if (!file.readEntry(uint32_t(i), entry)) return 0;
    if (entry.key != key) break;
    candidates[n++] = entry;
  }
  for (int64_t i = int64_t(found) + 1; i < int64_t(file.count()) && n < MaxBookCandidates; ++i) {
    if (!file.readEntry(uint32_t(i), entry)) return 0;
    if (entry.key != key) break;
    candidates[n++] = entry;
  }
  return n;
}

bool isLegal(const MoveList& legal, Move m) {
  for (uint32_t i = 0; i < legal.count; ++i)
    if (legal.entries[i].move == m) return true;
  return false;
}

}  // namespace

uint64_t polyglotKey(const Position& pos) {
  uint64_t key = 0;
  for (int c = White; c <= Black; ++c) {
    for (int slot = 0; slot < SlotCount; ++slot) {
      const int square = pos.pieceList[c].slots[slot];
      if (!onBoard(square)) continue;
      const int type = pos.pieceType[square];
      assert(type >= Pawn && type <= King);
      if (type < Pawn || type > King) continue;
      const int kind = 2 * (type - 1) + (c == White ? 1 : 0);
      key ^= bookRandom64[64 * kind + square64(square)];
    }
  }
  // Our castling bits 1, 2, 4, 8 follow the book's order of the four rights.
  for (int right = 0; right < 4; ++right)
    if (pos.castlingRights & (1 << right)) key ^= bookRandom64[BookRandomCastling + right];
  // The position keeps an en-passant square only when a pawn of the side to move stands beside
  // the pawn that has just advanced two squares, which is when the book key counts the file.
  if (pos.epSquare != NoSquare) key ^= bookRandom64[BookRandomEnPassant + fileOf(pos.epSquare)];
  if (pos.sideToMove == White) key ^= bookRandom64[BookRandomTurn];
  return key;
}

BookEntry decodeBookEntry(const unsigned char (&bytes)[BookEntrySize]) {
  BookEntry entry;
  entry.key = readBigEndian(bytes, 8);
  entry.move = uint16_t(readBigEndian(bytes + 8, 2));
  entry.weight = uint16_t(readBigEndian(bytes + 10, 2));
  entry.learn = uint32_t(readBigEndian(bytes + 12, 4));
  return entry;
}

Move convertBookMove(const Position& pos, uint16_t bookMove) {
  const int to = makeSquare((bookMove >> 3) & 7, bookMove & 7);
  const int from = makeSquare((bookMove >> 9) & 7, (bookMove >> 6) & 7);
  const int promotion = (bookMove >> 12) & 7;
  // Fields 5 to 7 name no piece.
  if (promotion > 4) return NullMove;
  // A promotion field on a king's move is no castling; it stays a promotion and the legality
  // check turns it down.
  if (promotion == 0) {
    for (const BookCastling& c : bookCastlings) {
      if (from == c.kingFrom && holds(pos, from, c.colour, King) &&
          (to == c.rookSquare || to == c.kingTo) && holds(pos, c.rookSquare, c.colour, Rook))
        return castlingMoves[c.code];
    }
  }
  // Book fields 1-4 are knight, bishop, rook, queen: our piece types 2-5.
  if (promotion != 0) return buildMove(from, to, PromotionMove, promotion + 1, 0, 0);
  const bool pawn = pos.pieceType[from] == Pawn;
  if (pawn && to == pos.epSquare) return buildMove(from, to, EnPassantMove, 0, 0, 0);
  const int side = pos.colour[from];
  const bool doubleStep = pawn && side != NoColour && rankOf(from) == pawnStartRank[side] &&
                          to == from + 2 * pawnPush[side];
  return buildMove(from, to, NormalMove, 0, 0, doubleStep ? 1 : 0);
}

uint32_t timeOfDaySeed(int64_t unixMilliseconds) {
  const int64_t seconds = unixMilliseconds / 1000;
  const uint32_t millis = uint32_t(unixMilliseconds % 1000);
  // (seconds + 60 * minutes + 3600 * hours) of the UTC day, then milliseconds of the day.
  const uint32_t dayMillis = uint32_t(seconds % 86400) * 1000 + millis;
  return dayMillis * uint32_t(seconds);
}

OpeningBook::OpeningBook(std::string_view path)
    : OpeningBook(path, timeOfDaySeed(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count())) {}

OpeningBook::OpeningBook(std::string_view path, uint32_t seed) : path_(path), random_(seed) {}

void OpeningBook::setPath(std::string_view path) {
  std::lock_guard<std::mutex> lock(mutex_);
  path_.assign(path);
}

std::string OpeningBook::path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

uint32_t OpeningBook::nextRandom30() {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t high = uint32_t(random_.next());
  return (high << 15) | uint32_t(random_.next());
}

Move OpeningBook::probe(Position& pos, int& failure) {
  failure = 0;
  const uint64_t key = polyglotKey(pos);
  BookEntry candidates[MaxBookCandidates];
  int count = 0;
  {
    BookFile file(path());
    if (!file.isOpen()) return NullMove;
    errno = 0;
    if (!file.measure()) {
      failure = errno;
      return NullMove;
    }
    const int64_t found = findKey(file, key, failure);
    if (found < 0) return NullMove;
    count = collectCandidates(file, uint32_t(found), key, candidates);
  }  // the file closes here

  // A record may be corrupt or written for other rules: keep only the candidates that convert to
  // one of the position's legal moves, and choose among those.
  MoveList legal;
  generateMoves(pos, inCheck(pos), legal);
  Move usable[MaxBookCandidates];
  uint32_t weights[MaxBookCandidates];
  int n = 0;
  uint32_t sum = 0;
  for (int i = 0; i < count; ++i) {
    const Move m = convertBookMove(pos, candidates[i].move);
    if (m == NullMove || !isLegal(legal, m)) continue;
    usable[n] = m;
    weights[n] = candidates[i].weight;
    sum += weights[n];
    ++n;
  }
  if (n == 0) return NullMove;
  // All weights zero: the first usable record, the one the search landed on when it is usable.
  if (sum == 0) return usable[0];
  // 30 random bits: sums of weights reach 256 * 65535, far beyond one 15-bit output.
  const uint32_t r = nextRandom30() % sum;
  uint32_t total = 0;
  for (int i = 0; i < n; ++i) {
    total += weights[i];
    if (total > r) return usable[i];
  }
  return usable[n - 1];  // not reached: the running total ends at sum, above r
}

}  // namespace varnu
