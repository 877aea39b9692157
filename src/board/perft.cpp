#include "board/perft.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"
#include "clock/stopwatch.h"

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

uint64_t divide(Position& pos, PerftHashTable& table, int depth, uint64_t& counter,
                const RootMoveCount& eachMove) {
  ++counter;
  MoveList list;
  generateMoves(pos, inCheck(pos), list);
  uint64_t sum = 0;
  for (uint32_t i = 0; i < list.count; ++i) {
    const Move m = list.entries[i].move;
    UndoRecord undo;
    perftMake(pos, m, undo);
    const uint64_t n = depth == 1 ? 1 : perft(pos, table, depth - 1, counter);
    sum += n;
    perftUnmake(pos, m, undo);
    eachMove(m, n);
  }
  return sum;
}

PerftTotals countLeaves(Position& pos, PerftHashTable& table, int depth,
                        const RootMoveCount* eachMove) {
  table.clear();
  PerftTotals totals;
  pos.history[pos.historyCount].key = pos.computeKey();
  pos.perftKeys[pos.perftKeyIndex] = pos.computeKey();
  totals.leaves = eachMove ? divide(pos, table, depth, totals.nodes, *eachMove)
                           : perft(pos, table, depth, totals.nodes);
  totals.fillPercent = table.fillPercent();
  return totals;
}

std::string perftTotalsText(const PerftTotals& t, std::string_view prefix) {
  char text[256];
  const std::string p(prefix);
  std::snprintf(text, sizeof text,
                "%sTotal leaves: %" PRIu64 "\n%sTotal nodes:  %" PRIu64
                "\n%sTime elapsed: %d.%02d s\n%sNodes/second: %" PRIu64 "\n",
                p.c_str(), t.leaves, p.c_str(), t.nodes, p.c_str(), t.time / 100, t.time % 100,
                p.c_str(), perSecond(t.nodes, t.time));
  return text;
}

namespace {

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

SelfTestTotals runSelfTest(Position& pos, PerftHashTable& table,
                           const std::function<void(const SelfTestResult&)>& eachCase) {
  SelfTestTotals totals;
  for (const SelfTestCase& test : selfTests) {
    SelfTestResult r;
    r.number = test.number;
    r.expected = test.expected;
    const int32_t start = clockStamp();
    r.fenRead = setFromFen(pos, test.fen);
    if (r.fenRead) {
      table.clear();
      r.leaves = perft(pos, table, test.depth, r.nodes);
      r.time = int32_t(uint32_t(clockStamp()) - uint32_t(start));
      totals.leaves += r.leaves;
      totals.nodes += r.nodes;
      totals.time += r.time;
    }
    ++(r.passed() ? totals.passed : totals.failed);
    eachCase(r);
  }
  return totals;
}

}  // namespace varnu
