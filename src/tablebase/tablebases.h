// The Syzygy endgame tables a user keeps on disk: found by their names in the folders given,
// checked when found, mapped on first use and shared by every search thread. Probes answer
// win/draw/loss (WDL) and the distance to the next capture or pawn move (DTZ) of positions with
// no castling rights, and rank the root's moves by them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "board/movegen.h"
#include "board/position.h"
#include "tablebase/syzygy_table.h"

namespace varnu {

// WDL results from the side to move's view. A cursed win is a win that the fifty-move rule turns
// into a draw, a blessed loss the loss it saves.
enum Wdl : int { WdlLoss = -2, WdlBlessedLoss = -1, WdlDraw = 0, WdlCursedWin = 1, WdlWin = 2 };

// What setting a path found: the tables, the most pieces among them, and what was wrong.
struct TablebaseScan {
  int wdlTables = 0;
  int dtzTables = 0;
  int largest = 0;
  std::vector<std::string> problems;

  // "found 35 WDL and 35 DTZ tables of up to 4 pieces"
  std::string summary() const;
};

// The root's moves as the tables rank them: for each move its rank (higher is better: wins
// before draws before losses, nearer results first where the fifty-move rule is near) and the
// score to show for it.
struct RootRanking {
  int rank[MoveList::Capacity];
  int score[MoveList::Capacity];
  // True when DTZ ranked the moves; false when only WDL tables were at hand.
  bool byDistance = false;
};

class Tablebases {
 public:
  Tablebases();
  ~Tablebases();

  // Looks for tables in the folders (separated as the system separates paths) and replaces the
  // ones in use; an empty text uses none. Waits for probes in progress.
  TablebaseScan setPath(std::string_view folders);
  std::string path() const;
  // What the last setPath found.
  TablebaseScan lastScan() const;
  // The most pieces of a table found; 0 when none is in use.
  int largest() const { return largest_.load(std::memory_order_relaxed); }

  // The WDL result of a position with no castling rights: the tables' value after the captures
  // that improve it (and en passant) are tried. False when a table needed is missing or bad.
  bool probeWdl(Position& pos, int& wdl) const;
  // The DTZ of such a position in plies: positive when the side to move wins, negative when it
  // loses, 0 for a draw; beyond 100 plies from the fifty-move rule's point of view (cursed wins,
  // blessed losses) it counts 100 more. False when a table needed is missing or bad.
  bool probeDtz(Position& pos, int& dtz) const;

  // Ranks the moves of the game's position, which must have no castling rights: by DTZ where its
  // tables are at hand, else by WDL. rule50 makes a win that the fifty-move rule would draw
  // (counted from the position's clock) rank below the wins it would not. False when the
  // position or one of its moves is beyond the tables.
  bool rankRoot(const Position& game, const MoveList& moves, bool rule50,
                RootRanking& ranking) const;

 private:
  struct Entry;
  enum class Probe : uint8_t { Fail, Ok, OtherSide, ZeroingBest };

  const Entry* find(const Position& pos) const;
  const SyzygyTable* load(const Entry& entry, TableKind kind) const;
  int tableWdl(const Position& pos, Probe& state) const;
  int tableDtz(const Position& pos, int wdl, Probe& state) const;
  int searchWdl(Position& pos, bool allZeroing, Probe& state) const;
  // DTZ with the table's value, or one ply on where the table holds the other side to move;
  // oneSided: the caller is that ply, and a table that holds neither side fails.
  int searchDtz(Position& pos, Probe& state, bool oneSided = false) const;
  bool rankByDistance(const Position& game, const MoveList& moves, RootRanking& ranking,
                      bool rule50) const;
  bool rankByWdl(const Position& game, const MoveList& moves, RootRanking& ranking,
                 bool rule50) const;

  mutable std::shared_mutex mutex_;  // setPath replaces what probes read
  std::string path_;
  TablebaseScan lastScan_;
  std::vector<std::unique_ptr<Entry>> entries_;
  std::unordered_map<uint32_t, const Entry*> byMaterial_;
  std::atomic<int> largest_{0};
};

}  // namespace varnu
