#include "board/perft.h"

#include <cinttypes>
#include <string>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"

namespace varnu {

PerftHashTable::PerftHashTable(uint32_t megabytes) {
  uint64_t n = 2;
  while (n * 32 <= uint64_t(megabytes) * 1048576) n *= 2;
  entryCount_ = uint32_t(n);
  bucketMask_ = entryCount_ / 4 - 1;
  entries_.reset(new Entry[entryCount_]());
}

const PerftHashTable::Entry* PerftHashTable::probe(uint64_t key) const {
  const Entry* b = bucket(key);
  for (int i = 0; i < 4; ++i)
    if (matches(b[i], key)) return &b[i];
  return nullptr;
}

void PerftHashTable::store(uint64_t key, uint64_t count, int depth) {
  Entry* b = bucket(key);
  Entry* slot = nullptr;
  for (int i = 0; i < 4 && !slot; ++i)
    if (matches(b[i], key)) slot = &b[i];
  if (!slot) {
    for (int i = 0; i < 4 && !slot; ++i)
      if (isEmpty(b[i])) slot = &b[i];
  }
  if (!slot) {
    slot = &b[0];
    for (int i = 1; i < 4; ++i)
      if (b[i].depth < slot->depth) slot = &b[i];
  }
  if (isEmpty(*slot)) ++filledCount_;
  *slot = Entry{count, uint16_t(depth), uint16_t(key), uint32_t(key >> 16)};
}

void PerftHashTable::clear() {
  for (uint32_t i = 0; i < entryCount_; ++i) entries_[i] = Entry{};
  filledCount_ = 0;
}

int maxPerftDepth(const Position& pos) { return PerftKeyCapacity - 1 - pos.perftKeyIndex; }

uint64_t perft(Position& pos, PerftHashTable& table, int depth, uint64_t& counter) {
  ++counter;
  if (depth == 1) return countMoves(pos, inCheck(pos));
  MoveList list;
  generateMoves(pos, inCheck(pos), list);
  const uint64_t key = pos.perftKeys[pos.perftKeyIndex];
  if (const PerftHashTable::Entry* e = table.probe(key); e && e->depth == depth) return e->count;
  uint64_t sum = 0;
  for (uint32_t i = 0; i < list.count; ++i) {
    UndoRecord undo;
    perftMake(pos, list.entries[i].move, undo);
    sum += perft(pos, table, depth - 1, counter);
    perftUnmake(pos, list.entries[i].move, undo);
  }
  table.store(key, sum, depth);
  return sum;
}

uint64_t divide(Position& pos, PerftHashTable& table, int depth, uint64_t& counter, Output& out) {
  ++counter;
  MoveList list;
  generateMoves(pos, inCheck(pos), list);
  // Chess960 castling is written as the king taking its rook, which no other move can be.
  const MoveNotation notation = moveNotation(
      pos, pos.castling.standard ? CastlingNotation::KingTarget : CastlingNotation::KingTakesRook);
  uint64_t sum = 0;
  for (uint32_t i = 0; i < list.count; ++i) {
    const Move m = list.entries[i].move;
    UndoRecord undo;
    perftMake(pos, m, undo);
    const uint64_t n = depth == 1 ? 1 : perft(pos, table, depth - 1, counter);
    sum += n;
    perftUnmake(pos, m, undo);
    out.line(moveToText(m, notation) + " " + std::to_string(n));
  }
  return sum;
}

namespace {

void prepareTable(std::unique_ptr<PerftHashTable>& table, Output& out) {
  if (table) {
    table->clear();
    return;
  }
  out.printf("# new size of Perft hash: %u MB\n", PerftHashMegabytes);
  table = std::make_unique<PerftHashTable>(PerftHashMegabytes);
}

uint64_t perSecond(uint64_t count, int32_t centiseconds) {
  return centiseconds > 0 ? count * 100 / uint64_t(centiseconds) : 0;
}

// Counts from the game position, timing the run with the engine's stopwatch.
template <bool Divide>
void countCommand(Position& pos, std::unique_ptr<PerftHashTable>& table, int depth,
                  Stopwatch& stopwatch, Output& out) {
  stopwatch.reset();
  stopwatch.markAndStart();
  prepareTable(table, out);
  uint64_t counter = 0;
  pos.history[pos.historyCount].key = pos.computeKey();
  pos.perftKeys[pos.perftKeyIndex] = pos.computeKey();
  const uint64_t leaves = Divide ? divide(pos, *table, depth, counter, out)
                                 : perft(pos, *table, depth, counter);
  stopwatch.stop();
  const int32_t elapsed = stopwatch.sinceMark();
  const char* hash = Divide ? "" : "# ";
  out.printf(
      "%sTotal leaves: %" PRIu64 "\n%sTotal nodes:  %" PRIu64 "\n%sTime elapsed: %d.%02d s\n"
      "%sNodes/second: %" PRIu64 "\n# ptHashFull%%:  %g\n",
      hash, leaves, hash, counter, hash, elapsed / 100, elapsed % 100, hash,
      perSecond(counter, elapsed), table->fillPercent());
}

struct SelfTestCase {
  int number;
  const char* fen;
  int depth;
  uint64_t expected;
};

constexpr const char* Kiwipete =
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
constexpr const char* RookEnding = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";
constexpr const char* QueenEnding = "8/3K4/2p5/p2b2r1/5k2/8/8/1q6 b - - 1 67";

constexpr SelfTestCase selfTests[] = {
    {1, StartFen.data(), 1, 20},
    {2, StartFen.data(), 2, 400},
    {3, StartFen.data(), 3, 8902},
    {4, StartFen.data(), 4, 197281},
    {5, StartFen.data(), 5, 4865609},
    {6, StartFen.data(), 6, 119060324},
    {8, Kiwipete, 1, 48},
    {9, Kiwipete, 2, 2039},
    {10, Kiwipete, 3, 97862},
    {11, Kiwipete, 4, 4085603},
    {12, Kiwipete, 5, 193690690},
    {14, QueenEnding, 1, 50},
    {15, QueenEnding, 2, 279},
    {16, "8/7p/p5pb/4k3/P1pPn3/8/P5PP/1rB2RK1 b - d3 0 28", 6, 38633283},
    {17, "rnbqkb1r/ppppp1pp/7n/4Pp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 5, 11139762},
    {18, RookEnding, 6, 11030083},
    {19, RookEnding, 7, 178633661},
    {20, Kiwipete, 5, 193690690},
};

}  // namespace

void perftCommand(Position& pos, std::unique_ptr<PerftHashTable>& table, int depth,
                  Stopwatch& stopwatch, Output& out) {
  countCommand<false>(pos, table, depth, stopwatch, out);
}

void divideCommand(Position& pos, std::unique_ptr<PerftHashTable>& table, int depth,
                   Stopwatch& stopwatch, Output& out) {
  countCommand<true>(pos, table, depth, stopwatch, out);
}

void runSelfTest(Position& pos, std::unique_ptr<PerftHashTable>& table, Output& out) {
  int passed = 0, failed = 0;
  uint64_t totalLeaves = 0, totalNodes = 0;
  int32_t totalTime = 0;
  for (const SelfTestCase& test : selfTests) {
    const int32_t start = clockStamp();
    if (!setFromFen(pos, test.fen)) {
      out.printf("# Self-test no. %d FAILED  (illegal FEN)\n", test.number);
      ++failed;
      continue;
    }
    prepareTable(table, out);
    uint64_t counter = 0;
    const uint64_t leaves = perft(pos, *table, test.depth, counter);
    const int32_t t = int32_t(uint32_t(clockStamp()) - uint32_t(start));
    totalLeaves += leaves;
    totalNodes += counter;
    totalTime += t;
    if (leaves == test.expected) {
      ++passed;
      out.printf("# Self-test no. %d passed: n=%" PRIu64 ", t=%d, lps=%" PRIu64 ", nps=%" PRIu64
                 "\n",
                 test.number, leaves, t, perSecond(leaves, t), perSecond(counter, t));
    } else {
      ++failed;
      out.printf("# Self-test no. %d FAILED  (expected %" PRIu64 ", got %" PRIu64 ")\n",
                 test.number, test.expected, leaves);
    }
  }
  out.printf("%d tests passed, %d tests failed, 0 tests skipped, total %d tests run:\n", passed,
             failed, passed + failed);
  out.printf("n=%" PRIu64 ", t=%d, lps=%" PRIu64 ", nps=%" PRIu64 "\n", totalNodes, totalTime,
             perSecond(totalLeaves, totalTime), perSecond(totalNodes, totalTime));
}

}  // namespace varnu
