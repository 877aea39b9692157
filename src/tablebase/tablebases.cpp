#include "tablebase/tablebases.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "board/game_end.h"
#include "board/make_move.h"

namespace varnu {

struct Tablebases::Entry {
  // WDL, DTZ: the file (empty when not found) and its material, side 0 as its name has it.
  std::string paths[2];
  Material material[2];
  mutable std::mutex mutex;
  // 0 not yet opened, 1 open, 2 could not be opened.
  mutable std::atomic<int> state[2] = {0, 0};
  mutable std::unique_ptr<SyzygyTable> tables[2];
};

namespace {

constexpr std::string_view Extensions[2] = {".rtbw", ".rtbz"};

int sign(int v) { return (v > 0) - (v < 0); }

// The DTZ of a position whose best move captures or moves a pawn, by its result.
int dtzBeforeZeroing(int wdl) {
  switch (wdl) {
    case WdlWin:
      return 1;
    case WdlCursedWin:
      return 101;
    case WdlBlessedLoss:
      return -101;
    case WdlLoss:
      return -1;
    default:
      return 0;
  }
}

bool isCapture(const Position& pos, Move m) {
  return moveKind(m) == EnPassantMove || pos.pieceType[moveToSquare(m)] != NoPiece;
}

bool isZeroing(const Position& pos, Move m) {
  return isCapture(pos, m) || pos.pieceType[moveFromSquare(m)] == Pawn;
}

bool hasLegalMove(Position& pos) { return countMoves(pos, inCheck(pos)) > 0; }

// True when a position since the last capture or pawn move occurred twice: the game already
// shows a will to repeat, so a win is pressed by the shortest way.
bool repeatedSinceZeroing(const Position& pos) {
  const int n = pos.historyCount;
  const int oldest = std::max(n - int(pos.halfmoveClock), 0);
  for (int i = n; i >= oldest + 4; --i)
    for (int j = i - 4; j >= oldest; j -= 2)
      if (pos.history[i].key == pos.history[j].key) return true;
  return false;
}

std::string shortPath(const std::string& path) {
  return path.size() <= 200 ? path : path.substr(0, 100) + "..." + path.substr(path.size() - 97);
}

}  // namespace

std::string TablebaseScan::summary() const {
  return "found " + std::to_string(wdlTables) + " WDL and " + std::to_string(dtzTables) +
         " DTZ tables" + (largest > 0 ? " of up to " + std::to_string(largest) + " pieces" : "");
}

Tablebases::Tablebases() = default;
Tablebases::~Tablebases() = default;

std::string Tablebases::path() const {
  std::shared_lock lock(mutex_);
  return path_;
}

TablebaseScan Tablebases::lastScan() const {
  std::shared_lock lock(mutex_);
  return lastScan_;
}

TablebaseScan Tablebases::setPath(std::string_view folders) {
  TablebaseScan scan;
  std::vector<std::unique_ptr<Entry>> entries;
  std::unordered_map<uint32_t, const Entry*> byMaterial;
  // The entries by material, whichever way round a file names it.
  std::unordered_map<uint32_t, Entry*> byName;

  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(PathListSeparator, start);
    if (end == std::string_view::npos) end = folders.size();
    const std::string folder(folders.substr(start, end - start));
    start = end + 1;
    if (folder.empty()) continue;
    namespace fs = std::filesystem;
    std::error_code error;
    if (folder.size() > MaxPathLength) {
      scan.problems.push_back("folder " + shortPath(folder) + ": the path is too long");
      continue;
    }
    if (!fs::is_directory(folder, error)) {
      scan.problems.push_back("folder " + shortPath(folder) + ": not found");
      continue;
    }
    // In the order of their names, so that what is found and said is the same on every system.
    std::vector<fs::path> files;
    fs::directory_iterator it(folder, error), done;
    for (; !error && it != done; it.increment(error)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    for (const fs::path& path : files) {
      const std::string name = path.filename().string();
      for (int kind = 0; kind < 2; ++kind) {
        const std::string_view ext = Extensions[kind];
        if (name.size() <= ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext))
          continue;
        Material material;
        if (!parseMaterial(std::string_view(name).substr(0, name.size() - ext.size()), material))
          continue;
        // Tables named either way round hold the same positions.
        Entry*& entry = byName[std::min(material.key(), material.mirrored().key())];
        if (!entry) {
          entries.push_back(std::make_unique<Entry>());
          entry = entries.back().get();
        }
        if (!entry->paths[kind].empty()) continue;  // an earlier folder has it
        const std::string file = path.string();
        SyzygyTable table;
        std::string reason;
        if (!table.open(file, TableKind(kind), material, reason)) {
          scan.problems.push_back(shortPath(file) + " " + reason + ": not used");
          continue;
        }
        entry->paths[kind] = file;
        entry->material[kind] = material;
        ++(kind == 0 ? scan.wdlTables : scan.dtzTables);
      }
    }
    if (error) scan.problems.push_back("folder " + shortPath(folder) + ": " + error.message());
  }
  for (const auto& entry : entries) {
    const int k = entry->paths[0].empty() ? 1 : 0;
    if (entry->paths[k].empty()) continue;
    const Material& m = entry->material[k];
    byMaterial[m.key()] = entry.get();
    byMaterial[m.mirrored().key()] = entry.get();
    scan.largest = std::max(scan.largest, m.pieces());
  }

  std::unique_lock lock(mutex_);
  path_ = folders;
  lastScan_ = scan;
  entries_ = std::move(entries);
  byMaterial_ = std::move(byMaterial);
  largest_.store(scan.largest, std::memory_order_relaxed);
  return scan;
}

const Tablebases::Entry* Tablebases::find(const Position& pos) const {
  const auto it = byMaterial_.find(materialOf(pos).key());
  return it == byMaterial_.end() ? nullptr : it->second;
}

const SyzygyTable* Tablebases::load(const Entry& entry, TableKind kind) const {
  const int k = int(kind);
  int state = entry.state[k].load(std::memory_order_acquire);
  if (state == 0) {
    std::lock_guard<std::mutex> lock(entry.mutex);
    state = entry.state[k].load(std::memory_order_relaxed);
    if (state == 0) {
      auto table = std::make_unique<SyzygyTable>();
      std::string reason;
      const bool ok =
          !entry.paths[k].empty() && table->open(entry.paths[k], kind, entry.material[k], reason);
      if (ok) entry.tables[k] = std::move(table);
      state = ok ? 1 : 2;
      entry.state[k].store(state, std::memory_order_release);
    }
  }
  return state == 1 ? entry.tables[k].get() : nullptr;
}

int Tablebases::tableWdl(const Position& pos, Probe& state) const {
  if (popCount(pos.occupied()) == 2) return WdlDraw;  // two bare kings
  const Entry* entry = find(pos);
  const SyzygyTable* table = entry ? load(*entry, TableKind::Wdl) : nullptr;
  const TableRead r = table ? table->read(pos) : TableRead{TableRead::Unreadable, 0};
  if (r.status != TableRead::Ok) state = Probe::Fail;
  return r.value;
}

int Tablebases::tableDtz(const Position& pos, int wdl, Probe& state) const {
  const Entry* entry = find(pos);
  const SyzygyTable* table = entry ? load(*entry, TableKind::Dtz) : nullptr;
  const TableRead r = table ? table->read(pos, wdl) : TableRead{TableRead::Unreadable, 0};
  if (r.status == TableRead::OtherSide)
    state = Probe::OtherSide;
  else if (r.status != TableRead::Ok)
    state = Probe::Fail;
  return r.value;
}

// The tables leave out the positions where a capture is best, to compress the rest better, and
// know nothing of en passant: the captures (and, for DTZ, the pawn moves) are searched first, and
// the table's value counts only where no such move does better. state becomes ZeroingBest when
// one of those moves is the best.
int Tablebases::searchWdl(Position& pos, bool allZeroing, Probe& state) const {
  MoveList moves;
  generateMoves(pos, inCheck(pos), moves);
  int best = WdlLoss;
  uint32_t searched = 0;
  for (uint32_t i = 0; i < moves.count; ++i) {
    const Move m = moves.entries[i].move;
    if (!isCapture(pos, m) && !(allZeroing && pos.pieceType[moveFromSquare(m)] == Pawn)) continue;
    ++searched;
    UndoRecord undo;
    perftMake(pos, m, undo);
    const int v = -searchWdl(pos, false, state);
    perftUnmake(pos, m, undo);
    if (state == Probe::Fail) return WdlDraw;
    if (v > best) {
      best = v;
      if (v >= WdlWin) {
        state = Probe::ZeroingBest;
        return v;
      }
    }
  }
  // When every move was searched, the table's value (made without en passant) is not needed.
  const bool allSearched = searched > 0 && searched == moves.count;
  int v = best;
  if (!allSearched) {
    v = tableWdl(pos, state);
    if (state == Probe::Fail) return WdlDraw;
  }
  if (best >= v) {
    state = best > WdlDraw || allSearched ? Probe::ZeroingBest : Probe::Ok;
    return best;
  }
  state = Probe::Ok;
  return v;
}

int Tablebases::searchDtz(Position& pos, Probe& state, bool oneSided) const {
  state = Probe::Ok;
  const int wdl = searchWdl(pos, true, state);
  if (state == Probe::Fail || wdl == WdlDraw) return 0;
  if (state == Probe::ZeroingBest) return dtzBeforeZeroing(wdl);
  int dtz = tableDtz(pos, wdl, state);
  if (state == Probe::Fail) return 0;
  if (state != Probe::OtherSide)
    return (dtz + (wdl == WdlCursedWin || wdl == WdlBlessedLoss ? 100 : 0)) * sign(wdl);
  // A damaged table could claim the other side for both sides to move; the search must not
  // chase it ply after ply.
  if (oneSided) {
    state = Probe::Fail;
    return 0;
  }
  // The table holds the other side to move: the best of the moves' distances, one ply on.
  int best = 0xFFFF;
  MoveList moves;
  generateMoves(pos, inCheck(pos), moves);
  for (uint32_t i = 0; i < moves.count; ++i) {
    const Move m = moves.entries[i].move;
    const bool zeroing = isZeroing(pos, m);
    UndoRecord undo;
    perftMake(pos, m, undo);
    state = Probe::Ok;
    // A zeroing move's distance is that of the position before it, signed by its result.
    dtz = zeroing ? -dtzBeforeZeroing(searchWdl(pos, false, state)) : -searchDtz(pos, state, true);
    if (dtz == 1 && inCheck(pos) && !hasLegalMove(pos)) best = 1;  // mate
    perftUnmake(pos, m, undo);
    if (state == Probe::Fail) return 0;
    if (!zeroing) dtz += sign(dtz);
    if (dtz < best && sign(dtz) == sign(wdl)) best = dtz;
  }
  return best == 0xFFFF ? -1 : best;
}

bool Tablebases::probeWdl(Position& pos, int& wdl) const {
  std::shared_lock lock(mutex_);
  if (pos.castlingRights || popCount(pos.occupied()) > largest()) return false;
  Probe state = Probe::Ok;
  wdl = searchWdl(pos, false, state);
  return state != Probe::Fail;
}

bool Tablebases::probeDtz(Position& pos, int& dtz) const {
  std::shared_lock lock(mutex_);
  if (pos.castlingRights || popCount(pos.occupied()) > largest()) return false;
  Probe state = Probe::Ok;
  dtz = searchDtz(pos, state);
  return state != Probe::Fail;
}

bool Tablebases::rankRoot(const Position& game, const MoveList& moves, bool rule50,
                          RootRanking& ranking) const {
  std::shared_lock lock(mutex_);
  if (game.castlingRights || popCount(game.occupied()) > largest() || moves.count == 0 ||
      game.historyCount >= MaxHistory - 2)
    return false;
  return rankByDistance(game, moves, ranking, rule50) || rankByWdl(game, moves, ranking, rule50);
}

bool Tablebases::rankByDistance(const Position& game, const MoveList& moves, RootRanking& ranking,
                                bool rule50) const {
  Position pos = game;
  const int clock = game.halfmoveClock;
  const bool repeated = repeatedSinceZeroing(game);
  for (uint32_t i = 0; i < moves.count; ++i) {
    const Move m = moves.entries[i].move;
    UndoRecord undo;
    makeMove(pos, m, undo);
    Probe state = Probe::Ok;
    int dtz;
    const DrawCode draw = checkDraw(pos).code;
    if (pos.halfmoveClock == 0) {
      dtz = dtzBeforeZeroing(-searchWdl(pos, false, state));
    } else if (draw == RepetitionDraw || (draw == FiftyMoveDraw && hasLegalMove(pos))) {
      dtz = 0;  // the move draws by the game's own rules
    } else {
      dtz = -searchDtz(pos, state);
      dtz += sign(dtz);  // counted from the root
    }
    if (dtz == 2 && inCheck(pos) && !hasLegalMove(pos)) dtz = 1;
    unmakeMove(pos, m, undo);
    if (state == Probe::Fail) return false;
    // Wins the fifty-move rule allows rank alike (unless the game repeats: then the nearest
    // first); other wins by how soon they convert. Losses it would turn into draws rank by how
    // long they hold out; losses within it alike.
    int rank = 0;
    if (dtz > 0)
      rank = dtz + clock <= 99 && !repeated ? 1000 : 1000 - (dtz + clock);
    else if (dtz < 0)
      rank = -2 * dtz + clock < 100 ? -1000 : -1000 + (-dtz + clock);
    ranking.rank[i] = rank;
    const int bound = rule50 ? 900 : 1;
    ranking.score[i] = rank >= bound    ? TablebaseWin - std::abs(dtz)
                       : rank <= -bound ? -(TablebaseWin - std::abs(dtz))
                                        : 0;
  }
  ranking.byDistance = true;
  return true;
}

bool Tablebases::rankByWdl(const Position& game, const MoveList& moves, RootRanking& ranking,
                           bool rule50) const {
  Position pos = game;
  for (uint32_t i = 0; i < moves.count; ++i) {
    const Move m = moves.entries[i].move;
    UndoRecord undo;
    perftMake(pos, m, undo);
    Probe state = Probe::Ok;
    const int wdl = -searchWdl(pos, false, state);
    perftUnmake(pos, m, undo);
    if (state == Probe::Fail) return false;
    constexpr int rankOf[5] = {-1000, -899, 0, 899, 1000};
    ranking.rank[i] = rankOf[wdl + 2];
    const int result = rule50 ? (wdl == WdlWin ? 1 : wdl == WdlLoss ? -1 : 0) : sign(wdl);
    ranking.score[i] = result * (TablebaseWin - 1);
  }
  ranking.byDistance = false;
  return true;
}

}  // namespace varnu
