#include "engine/engine.h"

#include <cstdlib>

#include "board/fen.h"
#include "board/make_move.h"
#include "board/movegen.h"
#include "board/number.h"
#include "clock/stopwatch.h"
#include "eval/endgame.h"
#include "eval/evaluate.h"
#include "search/playing_level.h"
#include "search/reported_line.h"

namespace varnu {

namespace {

// Moves a position may have after its FEN: the position's history keeps room for the search.
constexpr int MaxGameMoves = MaxHistory - 2;

// The move number of FEN text: its sixth field, 1 when it has none or a bad one.
int moveNumberField(std::string_view fen) {
  int field = 0;
  size_t i = 0;
  while (i < fen.size()) {
    while (i < fen.size() && (fen[i] == ' ' || fen[i] == '\t')) ++i;
    const size_t start = i;
    while (i < fen.size() && fen[i] != ' ' && fen[i] != '\t') ++i;
    if (i > start && ++field == 6) return std::max(parseNumber(fen.substr(start, i - start)), 1);
  }
  return 1;
}

// The longest move text of any notation: "O-O-O", or a promotion such as "e7e8q".
constexpr size_t MaxMoveText = 5;

}  // namespace

Engine::Engine(Output& output, WorkerMode mode)
    : output_(output),
      book_(Options::row(Setting::BookFile).defaultText),
      pool_(*this, clock_.stopwatch, &book_, &tablebases_,
            uint32_t(Options::row(Setting::Hash).defaultValue), mode),
      options_(pool_, book_, tablebases_) {
  newGameSeed();
  setFromFen(game_.position, StartFen);
  game_.empty();
}

// The search must end before the game it reads goes away.
Engine::~Engine() { pool_.abortSearch(); }

void Engine::attach(EngineListener& listener, const FrontEndStyle& style) {
  listener_ = &listener;
  style_ = style;
}

void Engine::detach(EngineListener& listener) {
  if (listener_ != &listener) return;
  stop();
  listener_ = &quiet_;
}

void Engine::newGameSeed() {
  const int32_t fixed = options_.number(Setting::LevelSeed);
  gameSeed_ = fixed != 0 ? uint64_t(fixed)
                         : gameSeed_ * 6364136223846793005ULL + uint64_t(clockStamp()) +
                               1442695040888963407ULL;
}

// ----- The game

void Engine::newGame() {
  stop();
  newGameSeed();
  pool_.table().clear();
  pool_.rebuildWorkers(true);
  std::lock_guard<std::mutex> lock(gameMutex_);
  setFromFen(game_.position, StartFen);
  game_.empty();
  positionValid_ = true;
  setupMoveNumber_ = 1;
  expectedReply_ = ponderReply_ = NullMove;
  clock_.resetForNewGame();
}

PositionResult Engine::setPosition(std::string_view fen, std::span<const std::string_view> moves) {
  // The game is built aside: a refused position leaves none, not the one before.
  auto next = std::make_unique<GameRecord>();
  PositionResult result;
  if (!setFromFen(next->position, fen, options_.flag(Setting::Chess960))) {
    result.kind = PositionResult::Kind::BadFen;
  } else {
    next->empty();
    const CastlingNotation castling = castlingNotation();
    for (size_t i = 0; i < moves.size(); ++i) {
      const Move m = moves[i].size() <= MaxMoveText
                         ? parseUserMove(next->position, moves[i], castling)
                         : NullMove;
      result.move = i;
      if (m == NullMove) {
        result.kind = PositionResult::Kind::IllegalMove;
        break;
      }
      if (int(i) + 1 > MaxGameMoves) {
        result.kind = PositionResult::Kind::TooManyMoves;
        break;
      }
      next->appendAndMake(m);
    }
  }
  std::lock_guard<std::mutex> lock(gameMutex_);
  positionValid_ = result.kind == PositionResult::Kind::Done;
  if (!positionValid_) return result;
  game_ = *next;
  setupMoveNumber_ = moveNumberField(fen);
  expectedReply_ = ponderReply_ = NullMove;
  return result;
}

void Engine::refusePosition() {
  std::lock_guard<std::mutex> lock(gameMutex_);
  positionValid_ = false;
}

bool Engine::positionValid() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return positionValid_;
}

MoveResult Engine::makeMove(std::string_view text) {
  std::lock_guard<std::mutex> lock(gameMutex_);
  const Move m = text.size() <= MaxMoveText
                     ? parseUserMove(game_.position, text, castlingNotation())
                     : NullMove;
  if (m == NullMove) return MoveResult::Illegal;
  if (recordFull()) return MoveResult::RecordFull;
  game_.appendAndMake(m);
  return MoveResult::Done;
}

bool Engine::takeBack(int moves) {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return game_.takeBack(moves);
}

bool Engine::turnTo(int colour) {
  std::lock_guard<std::mutex> lock(gameMutex_);
  if (game_.position.sideToMove == colour) return true;
  // The side to move changes, and no en-passant capture is left to the other side.
  std::string fen = fenText(game_.position, moveNumber());
  const size_t side = fen.find(' '), rights = fen.find(' ', side + 1);
  const size_t passant = fen.find(' ', rights + 1), clocks = fen.find(' ', passant + 1);
  fen = fen.substr(0, side + 1) + (colour == White ? "w" : "b") +
        fen.substr(rights, passant - rights) + " -" + fen.substr(clocks);
  auto next = std::make_unique<Position>();
  if (!setFromFen(*next, fen, options_.flag(Setting::Chess960))) return false;
  game_.position = *next;
  game_.empty();
  expectedReply_ = ponderReply_ = NullMove;
  return true;
}

Move Engine::parseMove(std::string_view text) const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  if (text.size() > MaxMoveText) return NullMove;
  // A search may be reading the game's position, so the move is found on a copy.
  Position scratch = game_.position;
  return parseUserMove(scratch, text, castlingNotation());
}

ExclusionResult Engine::exclude(std::string_view text, bool excluded) {
  std::lock_guard<std::mutex> lock(gameMutex_);
  Position scratch = game_.position;
  MoveList next = game_.excluded;
  if (text == "all") {
    next.count = 0;
    if (excluded) generateMoves(scratch, inCheck(scratch), next);
  } else {
    const Move m = text.size() >= 3 && text.size() <= MaxMoveText
                       ? parseUserMove(scratch, text, castlingNotation())
                       : NullMove;
    if (m == NullMove) return ExclusionResult::Illegal;
    uint32_t at = 0;
    while (at < next.count && !sameMove(next.entries[at].move, m)) ++at;
    if (excluded && at == next.count) next.add(m);
    if (!excluded && at < next.count) next.entries[at] = next.entries[--next.count];
  }
  bool same = next.count == game_.excluded.count;
  for (uint32_t i = 0; same && i < next.count; ++i) {
    bool found = false;
    for (uint32_t j = 0; j < game_.excluded.count; ++j)
      found = found || sameMove(next.entries[i].move, game_.excluded.entries[j].move);
    same = found;
  }
  if (same) return ExclusionResult::Unchanged;
  game_.excluded = next;
  return ExclusionResult::Changed;
}

bool Engine::allExcluded() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  if (game_.excluded.count == 0) return false;
  Position scratch = game_.position;
  MoveList legal;
  generateMoves(scratch, inCheck(scratch), legal);
  for (uint32_t i = 0; i < legal.count; ++i) {
    bool excluded = false;
    for (uint32_t j = 0; j < game_.excluded.count; ++j)
      excluded = excluded || sameMove(legal.entries[i].move, game_.excluded.entries[j].move);
    if (!excluded) return false;
  }
  return true;
}

GameEnd Engine::gameEnd() {
  // On the game's own position, which keeps the count of its repetitions for the search.
  std::lock_guard<std::mutex> lock(gameMutex_);
  return varnu::gameEnd(game_.position);
}

int Engine::sideToMove() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return game_.position.sideToMove;
}

int Engine::movesPlayed() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return game_.count;
}

Move Engine::hint() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return expectedAtKey_ == game_.position.key() ? expectedReply_ : NullMove;
}

MoveNotation Engine::notation() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return gameNotation();
}

std::string Engine::boardText(std::string_view prefix) const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return varnu::boardText(game_.position, prefix);
}

std::string Engine::fen() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return fenText(game_.position, moveNumber());
}

int Engine::moveNumber() const {
  // The move number grows with every move of Black's since the position was set up.
  const bool blackFirst = (game_.count % 2 == 1) == (game_.position.sideToMove == White);
  return setupMoveNumber_ + (game_.count + (blackFirst ? 1 : 0)) / 2;
}

CastlingNotation Engine::castlingNotation() const {
  return options_.flag(Setting::Chess960) ? style_.chess960Castling : CastlingNotation::KingTarget;
}

MoveNotation Engine::gameNotation() const {
  return moveNotation(game_.position, castlingNotation());
}

// ----- Searching

void Engine::completeLimits(SearchLimits& limits, bool withExclusions) const {
  limits.moveOverhead = options_.moveOverhead();
  limits.multiPV = options_.number(Setting::MultiPV);
  limits.tablebases.probeLimit = options_.number(Setting::SyzygyProbeLimit);
  limits.tablebases.probeDepth = options_.number(Setting::SyzygyProbeDepth);
  limits.tablebases.rule50 = options_.flag(Setting::Syzygy50MoveRule);
  limits.level.elo =
      levelRating(options_.number(Setting::SkillLevel), options_.flag(Setting::LimitStrength),
                  options_.number(Setting::Elo));
  limits.level.seed = gameSeed_;
  if (withExclusions)
    limits.excluded = game_.excluded;
  else
    limits.excluded.count = 0;
  // The book holds standard chess only, and knows nothing of the exclusions, the root moves
  // asked for or a mate to find.
  limits.bookAllowed = options_.flag(Setting::OwnBook) && !options_.flag(Setting::Chess960) &&
                       limits.excluded.count == 0 && limits.searchMoves.count == 0 &&
                       !limits.infinite && limits.mate == 0;
}

RootState Engine::rootState() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  if (!positionValid_) return RootState::NoPosition;
  Position scratch = game_.position;
  if (countMoves(scratch, inCheck(scratch)) > 0) return RootState::HasMoves;
  return inCheck(scratch) ? RootState::Checkmated : RootState::Stalemated;
}

bool Engine::go(const SearchLimits& limits, SearchGoal goal) {
  prepareTable();
  SearchLimits full = limits;
  {
    std::lock_guard<std::mutex> lock(gameMutex_);
    if (!positionValid_) return false;
    completeLimits(full, true);
    full.moveWanted = goal != SearchGoal::Analyse;
    goal_ = goal;
    goLimits_ = limits;
    searchNotation_ = gameNotation();
    searchShowsOdds_ = options_.flag(Setting::ShowWdl);
    searchGamePly_ = 2 * (moveNumber() - 1) + game_.position.sideToMove;
    resultDue_ = goal == SearchGoal::ReportMove;
  }
  // Without threads the search runs within these calls, reporting as it goes.
  if (full.ponder)
    pool_.ponder().start(game_.position, full);
  else
    pool_.startSearch(game_.position, full);
  return true;
}

void Engine::stop() {
  pool_.abortSearch();
  resultDue_ = false;
}

void Engine::moveNow() { pool_.moveNow(); }

void Engine::ponderHit(const SearchLimits& limits) {
  SearchLimits full = limits;
  {
    std::lock_guard<std::mutex> lock(gameMutex_);
    completeLimits(full, false);
    goLimits_ = limits;
  }
  pool_.ponder().hit(full);
}

void Engine::stopPondering() { pool_.ponder().miss(); }

bool Engine::isPonderReply(std::string_view text) const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  if (ponderReply_ == NullMove || !pool_.ponder().active() || text.size() > MaxMoveText)
    return false;
  Position scratch = game_.position;
  const Move m = parseUserMove(scratch, text, castlingNotation());
  return m != NullMove && sameMove(m, ponderReply_) && !recordFull();
}

void Engine::waitIdle() { pool_.waitIdle(); }

void Engine::waitForMove() { pool_.waitForMove(); }

void Engine::finish() {
  if (resultDue_ && waitsForStop()) moveNow();
  pool_.waitIdle();
  // Every search that owes a move reports one, whatever became of it.
  if (resultDue_.exchange(false)) listener_->onBestMove(BestMove{NullMove, NullMove, notation()});
}

bool Engine::thinking() const { return pool_.anyBusy(); }

bool Engine::pondering() const { return pool_.ponder().active(); }

bool Engine::resultDue() const { return resultDue_; }

bool Engine::waitsForStop() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  const SearchLimits& l = goLimits_;
  return l.infinite || pool_.ponder().active() ||
         !(l.timed(game_.position.sideToMove) || l.depth > 0 || l.nodes > 0);
}

void Engine::onSearchDone(Move move) {
  if (goal_ == SearchGoal::PlayMove) {
    playEngineMove(move);
    return;
  }
  if (goal_ != SearchGoal::ReportMove) return;
  Move reply = NullMove;
  if (move != NullMove) {
    // The game stands still while a search reports its move.
    Position after = game_.position;
    UndoRecord undo;
    varnu::makeMove(after, move, undo);
    reply = pool_.expectedReply(after);
  }
  // No longer owed once it is out, so that whoever sees it owed may wait for it.
  listener_->onBestMove(BestMove{move, reply, searchNotation_});
  resultDue_ = false;
}

void Engine::playEngineMove(Move move) {
  std::lock_guard<std::mutex> lock(gameMutex_);
  const bool draw = offersDraw(move);
  game_.appendAndMake(move);
  const GameEnd end = varnu::gameEnd(game_.position);
  expectedReply_ = pool_.expectedReply(game_.position);
  expectedAtKey_ = game_.position.key();
  ponderReply_ = NullMove;
  listener_->onEngineMove(EngineMove{move, draw, end, game_.position, searchNotation_});
  if (end == GameEnd::None) ponderOn(expectedReply_);
}

bool Engine::offersDraw(Move move) {
  game_.appendAndMake(move);
  Position& pos = game_.position;
  bool offer = false;
  if (countMoves(pos, inCheck(pos)) > 0) {
    const DrawCode code = checkDraw(pos).code;
    offer = code == FiftyMoveDraw || code == RepetitionDraw;
  }
  game_.takeBack(1);
  return offer;
}

void Engine::ponderOn(Move reply) {
  if (!options_.flag(Setting::Ponder) || reply == NullMove || recordFull()) return;
  Position pos = game_.position;
  UndoRecord undo;
  varnu::makeMove(pos, reply, undo);
  // A reply that ends the game leaves nothing to ponder on.
  if (countMoves(pos, inCheck(pos)) == 0 || checkDraw(pos).code == MaterialDraw) return;
  // The next move's controls, two plies on; its clock is read at the hit.
  SearchLimits limits = goLimits_;
  limits.gamePly += 2;
  limits.time[White] = limits.time[Black] = NoClock;
  limits.searchMoves.count = 0;
  completeLimits(limits, false);
  limits.moveWanted = true;
  ponderReply_ = reply;
  listener_->onPonder(PonderStart{reply, searchNotation_});
  pool_.ponder().start(pos, limits);
}

void Engine::onThinking(const ThinkingReport& report) {
  if (!style_.completeLines || goal_ != SearchGoal::ReportMove) {
    listener_->onThinking(
        Thinking{report, *report.line, searchNotation_, searchShowsOdds_, searchGamePly_});
    return;
  }
  // The search's line stops where it took a table hit: the table tells how it goes on. A
  // reported move's search has the game's position for its root, whose history tells the
  // repetitions.
  PVLine full = completeLine(game_.position, *report.line, pool_.table().table(), report.score);
  // A mate score goes out with a line only when the line shows that mate: strict referees
  // (fastchess's -check-mate-pvs) count any other as a fault, bounds included.
  if (std::abs(report.score) > MateThreshold && !reachesMate(game_.position, full, report.score))
    full.clear();
  listener_->onThinking(Thinking{report, full, searchNotation_, searchShowsOdds_, searchGamePly_});
}

void Engine::onStatistics(const SearchStatistics& statistics) {
  listener_->onStatistics(statistics);
}

void Engine::onNote(const Note& note) {
  if (const auto* stop = std::get_if<StopRuleNote>(&note)) {
    StopRuleNote written = *stop;
    written.notation = searchNotation_;
    listener_->onNote(written);
    return;
  }
  listener_->onNote(note);
}

// ----- Settings

Options::Result Engine::setOption(Setting setting, std::string_view text, Protocol protocol) {
  OptionValue value;
  if (!options_.read(setting, text, protocol, value)) return Options::Result::BadValue;
  return applyOption(setting, value) ? Options::Result::Done : Options::Result::Refused;
}

bool Engine::applyOption(Setting setting, const OptionValue& value) {
  const OptionRow& row = Options::row(setting);
  if (row.apply && !row.apply(*this, value)) return false;
  // The master reads the settings as it starts pondering after the engine's move, under the game
  // lock.
  std::lock_guard<std::mutex> lock(gameMutex_);
  options_.store(setting, value);
  return true;
}

void Engine::setCores(int32_t cores) { pool_.setCores(cores); }

std::vector<std::string> Engine::applyCommandLine(const std::vector<CommandLineItem>& items) {
  std::vector<std::string> warnings;
  for (const CommandLineItem& item : items) {
    if (item.cores > 0)
      setCores(item.cores);
    else if (!item.warning.empty())
      warnings.push_back(item.warning);
  }
  return warnings;
}

void Engine::prepare() {
  prepareTable();
  if (!pool_.anyBusy()) pool_.rebuildWorkers(false);
}

void Engine::prepareTable() {
  if (const uint32_t refused = pool_.table().ensure())
    listener_->onNote(HashRefusedNote{refused, pool_.table().table().megabytes()});
}

// ----- Developer commands

PerftHashTable& Engine::perftTable() {
  if (!perftTable_) {
    listener_->onNote(PerftTableNote{PerftHashMegabytes});
    perftTable_ = std::make_unique<PerftHashTable>(PerftHashMegabytes);
  }
  return *perftTable_;
}

PerftTotals Engine::perft(int depth, const DivideLine* divide) {
  // The count is timed on the engine's own stopwatch.
  Stopwatch& watch = clock_.stopwatch;
  watch.reset();
  watch.markAndStart();
  PerftHashTable& table = perftTable();
  std::lock_guard<std::mutex> lock(gameMutex_);
  Position& pos = game_.position;
  // Chess960 castling is written as the king taking its rook, which no other move can be.
  const MoveNotation notation = moveNotation(
      pos, pos.castling.standard ? CastlingNotation::KingTarget : CastlingNotation::KingTakesRook);
  const RootMoveCount each = [&](Move m, uint64_t leaves) {
    (*divide)(moveToText(m, notation), leaves);
  };
  PerftTotals totals = countLeaves(pos, table, depth, divide ? &each : nullptr);
  watch.stop();
  totals.time = watch.sinceMark();
  return totals;
}

int Engine::maxPerftDepth() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return varnu::maxPerftDepth(game_.position);
}

SelfTestTotals Engine::selfTest(const std::function<void(const SelfTestResult&)>& eachCase) {
  PerftHashTable& table = perftTable();
  std::lock_guard<std::mutex> lock(gameMutex_);
  return runSelfTest(game_.position, table, eachCase);
}

std::string Engine::evalTable() const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  return varnu::evalTable(game_.position);
}

int Engine::evalBreakdown(EvalBreakdown& breakdown, bool& mating) const {
  std::lock_guard<std::mutex> lock(gameMutex_);
  const Position& pos = game_.position;
  MatingMaterial material;
  mating = findMatingSide(pos, material);
  const int total = evaluateWithBreakdown(pos, breakdown);
  if (mating) {
    // The table lists the mating terms under the side to move; here each goes to the side whose
    // total it joins (the defender's distances from the centre and from the safe corners, the
    // winner's king nearness), so that the colours' columns add up to the score.
    const int toMove = pos.sideToMove, winner = material.winner, loser = winner ^ 1;
    const std::pair<int, int> moves[] = {
        {RowMateKingEdge, loser}, {RowMateKingDistance, winner}, {RowMateSafeCorner, loser}};
    for (const auto& [row, side] : moves) {
      if (side == toMove) continue;
      int16_t* columns = breakdown.rows[row];
      columns[2 * side] = columns[2 * toMove];
      columns[2 * side + 1] = columns[2 * toMove + 1];
      columns[2 * toMove] = columns[2 * toMove + 1] = 0;
    }
  }
  return pos.sideToMove == White ? total : -total;
}

}  // namespace varnu
