// Referee: plays fast games between two engines, each over xboard/CECP or UCI, and checks each
// of them with our own board code. Every move is validated against our legal move generator,
// every clock is kept here, and the game ends on checkmate, stalemate, insufficient material, the
// fifty-move rule, threefold repetition, a move cap, a time forfeit, an illegal move, a crash or a
// hang. The lines of a UCI engine's thinking are checked as well (see "PV checks" below).
//
//   referee --first "CMD ARGS" [--second "CMD ARGS"] [options]
//
// Options:
//   --games N           games to play, colours alternating (default 2; with --fens, every
//                       position once for each engine that plays its side to move)
//   --level "M B I"     time control as the "level" command gives it (default "0 0:02 0")
//   --tc "[M/]B[+I]"    time control in seconds, fractions allowed: "5+0.05" is 5 s a game and
//                       0.05 s a move, "40/60" is 60 s for every 40 moves; replaces --level. An
//                       xboard engine gets it as "level", which takes whole seconds only
//   --max-plies N       the game is drawn by adjudication after N plies (default 300)
//   --tolerance MS      a move may overrun the clock by this much before the flag falls (20)
//   --hang MS           silence beyond the clock after which an engine counts as hung (5000)
//   --openings FILE     one opening per line: moves in coordinate notation ('#' comments);
//                       each opening is played twice with the colours swapped
//   --fens FILE         start positions instead of openings: one FEN per line ('#' comments),
//                       set up with "setboard" (xboard engines must announce feature setboard=1)
//                       or "position fen"; the fifty-move rule counts from the FEN's half-move
//                       clock, and move periods and --max-plies from the position
//   --fen-side WHO      the engine that plays the side to move of every FEN: first, second,
//                       or both (the default: each FEN twice, the first engine to move first)
//   --uci1, --uci2      the first (second) engine speaks UCI instead of xboard/CECP
//   --option1 N=V       an engine setting, as "setoption name N value V" over UCI and as
//   --option2 N=V       "option N=V" over xboard, sent after the handshake (may be repeated)
//   --init1 LINE        a protocol line sent to the first engine after its handshake and options
//   --init2 LINE        the same for the second engine (both may be repeated)
//   --nopost            send "nopost" instead of "post" (xboard engines)
//   --strict-pv         complaints about the lines of a counted engine fail the match
//   --log-dir DIR       where the transcripts of faulty games go (default: the current folder)
//   --keep-logs         write every game's transcript, not only the faulty ones
//   --summary FILE      write the totals as key=value lines (for reports)
//   --lenient-second    faults of the second engine do not change the exit status
//
// A UCI engine is started with "uci" (its "id name" names it), takes the settings, and answers
// "isready"; every game opens with "ucinewgame", and every move is asked for with "position
// startpos moves ..." (or "position fen ... moves ...") and "go wtime btime winc binc" from the
// referee's clocks, with "movestogo" under move periods, until "bestmove".
//
// PV checks (UCI engines, every "info" line of a search, as fastchess's -check-mate-pvs does):
// the moves after "pv" are played from the position the engine was asked to search, the game's
// moves included. Before each move the position must not end the line: a threefold repetition
// (the game's positions before the root count), the fifty-move counter at 100 plies without mate,
// or no legal move (mate or stalemate) each give "pv after ..."; the move itself must be legal.
// The first complaint ends the line's check. A line with "score mate N", a bound as well (fastchess
// checks those too), must then hold exactly the plies the mate takes, 2N-1 for N>0 and 2|N| for
// N<0, and end in checkmate: shorter is an "incomplete mating pv", longer a "too long mating pv",
// and a line of the right length without mate a "mating pv without mate". Apart from those, any
// info line whose depth is above 128 is an "implausible depth". Each complaint is counted per
// engine, noted in the game's transcript with the line and the position searched (the transcript is
// then written), and fails the match only under --strict-pv.
//
// Exit status: 0 when no counted engine crashed, hung, moved illegally, lost on time, broke the
// protocol or announced a wrong result (nor, under --strict-pv, drew a complaint about its
// lines); 1 otherwise; 2 for bad usage.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "board/fen.h"
#include "board/game_end.h"
#include "board/make_move.h"
#include "board/move.h"
#include "board/movegen.h"

namespace {

using namespace varnu;
using SteadyClock = std::chrono::steady_clock;

int64_t millisBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// Splits at runs of spaces; no quoting, which the engine command lines here do not need.
std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> result;
  std::istringstream in{std::string(text)};
  std::string word;
  while (in >> word) result.push_back(word);
  return result;
}

// The lines of a list file that hold more than a comment ('#' to the end of the line).
bool readListFile(const std::string& path, std::vector<std::string>& lines, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  for (std::string line; std::getline(in, line);) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    if (!words(line).empty()) lines.push_back(line);
  }
  return true;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Engine processes still to be killed if the referee itself is interrupted.
constexpr int MaxChildren = 8;
volatile sig_atomic_t childPids[MaxChildren] = {};

void onInterrupt(int signalNumber) {
  for (int i = 0; i < MaxChildren; ++i)
    if (childPids[i] > 0) kill(pid_t(childPids[i]), SIGKILL);
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void rememberChild(pid_t pid) {
  for (int i = 0; i < MaxChildren; ++i)
    if (childPids[i] == 0) {
      childPids[i] = pid;
      return;
    }
}

void forgetChild(pid_t pid) {
  for (int i = 0; i < MaxChildren; ++i)
    if (childPids[i] == pid) childPids[i] = 0;
}

// The transcript of one game: every line sent and received, with milliseconds since its start.
class Transcript {
 public:
  void restart() {
    start_ = SteadyClock::now();
    text_.clear();
  }
  void add(int engine, const char* direction, std::string_view line) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%8lld %d%s ",
                  (long long)millisBetween(start_, SteadyClock::now()), engine + 1, direction);
    text_ += stamp;
    text_ += line;
    text_ += '\n';
  }
  void note(std::string_view text) { add(-1, "##", text); }
  const std::string& text() const { return text_; }

 private:
  SteadyClock::time_point start_ = SteadyClock::now();
  std::string text_;
};

// One engine process with pipes to its standard input and output, and the features it declared.
class EngineProcess {
 public:
  EngineProcess(int index, Transcript& transcript) : index_(index), transcript_(transcript) {}
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;
  ~EngineProcess() { stop(); }

  bool start(const std::vector<std::string>& argv) {
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0) return false;
    if (pipe(fromChild) != 0) {
      close(toChild[0]);
      close(toChild[1]);
      return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      // Dies with the referee, so a killed test leaves no engine behind.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      dup2(toChild[0], STDIN_FILENO);
      dup2(fromChild[1], STDOUT_FILENO);
      close(toChild[0]);
      close(toChild[1]);
      close(fromChild[0]);
      close(fromChild[1]);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      std::fprintf(stderr, "referee: cannot run %s: %s\n", args[0], std::strerror(errno));
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    fcntl(toChild[1], F_SETFD, FD_CLOEXEC);
    fcntl(fromChild[0], F_SETFD, FD_CLOEXEC);
    pid_ = pid;
    rememberChild(pid);
    toEngine_ = toChild[1];
    fromEngine_ = fromChild[0];
    buffer_.clear();
    closed_ = false;
    exitText_.clear();
    usermovePrefix_ = false;
    ping_ = false;
    setboard_ = false;
    name_.clear();
    return true;
  }

  bool running() const { return pid_ > 0; }

  // Writes one line; false when the engine no longer reads its input.
  bool send(std::string_view line) {
    transcript_.add(index_, "<", line);
    if (toEngine_ < 0) return false;
    std::string text(line);
    text += '\n';
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = write(toEngine_, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += size_t(n);
    }
    return true;
  }

  // Sends a move the way the engine asked for it: with or without the "usermove" word.
  bool sendMove(const std::string& move) {
    return send(usermovePrefix_ ? "usermove " + move : move);
  }

  // Takes the next complete line out of the buffer; at end of output the unfinished rest.
  bool takeLine(std::string& line) {
    const size_t end = buffer_.find('\n');
    if (end == std::string::npos) {
      if (!closed_ || buffer_.empty()) return false;
      line = buffer_;
      buffer_.clear();
    } else {
      line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    transcript_.add(index_, ">", line);
    return true;
  }

  // Reads what the engine has written so far into the buffer.
  void readAvailable() {
    char chunk[4096];
    const ssize_t n = read(fromEngine_, chunk, sizeof chunk);
    if (n > 0) {
      buffer_.append(chunk, size_t(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      closed_ = true;
    }
  }

  int outputFd() const { return closed_ ? -1 : fromEngine_; }
  bool closed() const { return closed_; }
  bool hasBufferedLine() const {
    return buffer_.find('\n') != std::string::npos || (closed_ && !buffer_.empty());
  }

  // Asks the engine to quit, and kills it when it does not go within a second.
  void stop() {
    if (pid_ <= 0) return;
    if (!closed_) send("quit");
    if (toEngine_ >= 0) close(toEngine_);
    toEngine_ = -1;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(1);
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && SteadyClock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    forgetChild(pid_);
    pid_ = -1;
    if (fromEngine_ >= 0) close(fromEngine_);
    fromEngine_ = -1;
    closed_ = true;
  }

  // Kills the engine at once; for an engine that hangs or broke the protocol.
  void killNow() {
    if (pid_ > 0) kill(pid_, SIGKILL);
    stop();
  }

  // Waits for an engine whose output has closed and tells how it ended.
  std::string reapAfterClose() {
    if (pid_ <= 0) return exitText_;
    int status = 0;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(2);
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && SteadyClock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
      exitText_ = "closed its output but kept running";
      killNow();
      return exitText_;
    }
    if (WIFSIGNALED(status))
      exitText_ = "killed by signal " + std::to_string(WTERMSIG(status));
    else
      exitText_ = "exited with status " + std::to_string(WEXITSTATUS(status));
    forgetChild(pid_);
    pid_ = -1;
    if (toEngine_ >= 0) close(toEngine_);
    toEngine_ = -1;
    close(fromEngine_);
    fromEngine_ = -1;
    return exitText_;
  }

  // Reads one "feature" line: usermove, ping, setboard, myname and done matter here.
  // Returns true when it held done=1.
  bool readFeatures(std::string_view line) {
    std::string_view rest = line.substr(std::string_view("feature").size());
    bool done = false;
    while (!rest.empty()) {
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
      const size_t equals = rest.find('=');
      if (equals == std::string_view::npos) break;
      const std::string_view key = rest.substr(0, equals);
      rest.remove_prefix(equals + 1);
      std::string_view value;
      if (!rest.empty() && rest.front() == '"') {
        const size_t close = rest.find('"', 1);
        value = rest.substr(1, close == std::string_view::npos ? rest.size() - 1 : close - 1);
        rest.remove_prefix(close == std::string_view::npos ? rest.size() : close + 1);
      } else {
        const size_t space = rest.find(' ');
        value = rest.substr(0, space);
        rest.remove_prefix(space == std::string_view::npos ? rest.size() : space);
      }
      if (key == "usermove") usermovePrefix_ = value == "1";
      if (key == "ping") ping_ = value == "1";
      if (key == "setboard") setboard_ = value == "1";
      if (key == "myname") name_ = value;
      if (key == "done" && value == "1") done = true;
    }
    return done;
  }

  // Reads the "id name" line of a UCI engine's handshake.
  void readUciId(std::string_view line) {
    if (startsWith(line, "id name ")) name_ = line.substr(8);
  }

  bool supportsPing() const { return ping_; }
  bool supportsSetboard() const { return setboard_; }
  const std::string& name() const { return name_; }
  int index() const { return index_; }

 private:
  int index_;
  Transcript& transcript_;
  pid_t pid_ = -1;
  int toEngine_ = -1;
  int fromEngine_ = -1;
  std::string buffer_;
  bool closed_ = true;
  std::string exitText_;
  bool usermovePrefix_ = false;
  bool ping_ = false;
  bool setboard_ = false;
  std::string name_;
};

enum class ReadStatus { Line, Timeout, Closed };

// Waits for the next line of either engine, until the deadline. Closed reports an engine whose
// output ended (all its buffered lines have been handed out before).
ReadStatus readAny(std::span<EngineProcess* const> engines, SteadyClock::time_point deadline,
                   int& who, std::string& line) {
  for (;;) {
    for (EngineProcess* engine : engines)
      if (engine->running() && engine->takeLine(line)) {
        who = engine->index();
        return ReadStatus::Line;
      }
    for (EngineProcess* engine : engines)
      if (engine->running() && engine->closed()) {
        who = engine->index();
        return ReadStatus::Closed;
      }
    pollfd fds[2];
    EngineProcess* engineOf[2];
    nfds_t count = 0;
    for (EngineProcess* engine : engines) {
      if (engine->outputFd() < 0 || count == 2) continue;
      fds[count] = {engine->outputFd(), POLLIN, 0};
      engineOf[count++] = engine;
    }
    const int64_t wait = millisBetween(SteadyClock::now(), deadline);
    if (wait < 0 || count == 0) return ReadStatus::Timeout;
    const int ready = poll(fds, count, int(std::min<int64_t>(wait + 1, INT_MAX)));
    if (ready < 0 && errno != EINTR) return ReadStatus::Timeout;
    for (nfds_t i = 0; i < count; ++i)
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) engineOf[i]->readAvailable();
    if (ready == 0 && SteadyClock::now() >= deadline) return ReadStatus::Timeout;
  }
}

// The protocol's two ways for an engine to refuse a command or a move.
bool isRefusal(std::string_view line) {
  return startsWith(line, "Error") || startsWith(line, "Illegal move");
}

// A result line as an engine announces it: "1-0 {...}", "0-1 {...}", "1/2-1/2 {...}".
std::string claimedScore(std::string_view line) {
  for (std::string_view score : {"1-0", "0-1", "1/2-1/2"})
    if (startsWith(line, score) && (line.size() == score.size() || line[score.size()] == ' '))
      return std::string(score);
  return "";
}

// What the PV checks can find wrong with a UCI engine's info line.
enum PvComplaint {
  IllegalPvMove,
  PvAfterThreefold,
  PvAfterFiftyMoves,
  PvAfterMate,
  IncompleteMatingPv,
  TooLongMatingPv,
  MatingPvWithoutMate,
  ImplausibleDepth,
  PvComplaintKinds
};

// Each complaint's words in the totals and transcripts, and its key in the summary file.
constexpr const char* PvComplaintLabel[PvComplaintKinds] = {
    "illegal pv move",         "pv after threefold",   "pv after fifty-move rule",
    "pv after mate/stalemate", "incomplete mating pv", "too long mating pv",
    "mating pv without mate",  "implausible depth"};
constexpr const char* PvComplaintKey[PvComplaintKinds] = {
    "pv_illegal_move",    "pv_after_threefold", "pv_after_fifty",      "pv_after_mate",
    "pv_incomplete_mate", "pv_too_long_mate",   "pv_mate_not_reached", "implausible_depth"};

// A depth above this is an iteration counter that ran on, not plies searched: Stockfish 15.1, for
// one, counts on to 245 once it has seen a mate in a few moves.
constexpr int PlausibleDepth = 128;

// The parts of an info line the PV checks read.
struct InfoLine {
  int depth = -1;
  bool mateScore = false;
  int mateIn = 0;  // moves to mate after "score mate": positive when the engine mates
  bool hasPv = false;
  std::vector<std::string> pv;
};

// Splits an info line into its fields. The pv runs to the end of the line or to the next field
// name, so a pv followed by other fields is read as well. "info string" carries text only.
InfoLine parseInfo(std::string_view line) {
  static constexpr std::string_view FieldNames[] = {
      "depth",    "seldepth",       "time",     "nodes", "pv",         "multipv",   "score",
      "currmove", "currmovenumber", "hashfull", "nps",   "tbhits",     "sbhits",    "cpuload",
      "string",   "refutation",     "currline", "wdl",   "lowerbound", "upperbound"};
  auto isField = [](std::string_view word) {
    return std::find(std::begin(FieldNames), std::end(FieldNames), word) != std::end(FieldNames);
  };
  InfoLine info;
  const std::vector<std::string> w = words(line);
  for (size_t i = 1; i < w.size(); ++i) {
    if (w[i] == "string") break;
    if (w[i] == "depth" && i + 1 < w.size()) {
      info.depth = std::atoi(w[++i].c_str());
    } else if (w[i] == "score" && i + 2 < w.size()) {
      info.mateScore = w[i + 1] == "mate";
      info.mateIn = std::atoi(w[i + 2].c_str());
      i += 2;
    } else if (w[i] == "pv") {
      info.hasPv = true;
      while (i + 1 < w.size() && !isField(w[i + 1])) info.pv.push_back(w[++i]);
    }
  }
  return info;
}

// True when the position stood twice before in the reversible stretch of the game and line that
// led to it (the same side to move, so every second position): the third time is a draw.
bool isThreefold(const Position& pos) {
  const int n = pos.historyCount;
  const uint64_t key = pos.history[n].key;
  const int oldest = std::max(n - int(pos.halfmoveClock), 0);
  int seen = 0;
  for (int i = n - 2; i >= oldest; i -= 2)
    if (pos.history[i].key == key) ++seen;
  return seen >= 2;
}

// Why a line may not go on from the position, in the order fastchess tests it: the fifty-move
// counter (unless the side to move is mated), a threefold repetition, no legal move.
bool lineMustEnd(Position& pos, PvComplaint& why) {
  const bool check = inCheck(pos);
  const bool noMoves = countMoves(pos, check) == 0;
  if (pos.halfmoveClock >= 100) {
    why = noMoves && check ? PvAfterMate : PvAfterFiftyMoves;
    return true;
  }
  if (isThreefold(pos)) {
    why = PvAfterThreefold;
    return true;
  }
  why = PvAfterMate;
  return noMoves;
}

// Plays the info line's pv from the searched position and returns its first complaint, with the
// pv's ply where it was found in ply (0 for the first move; the pv's length for the mate checks).
// PvComplaintKinds when the line is sound. A pv too long for our history is checked as far as
// it fits.
PvComplaint checkPv(const Position& root, const InfoLine& info, size_t& ply) {
  Position pos = root;
  for (ply = 0; ply < info.pv.size(); ++ply) {
    if (pos.historyCount >= MaxHistory - 2) return PvComplaintKinds;
    PvComplaint why;
    if (lineMustEnd(pos, why)) return why;
    const Move m = parseUserMove(pos, info.pv[ply]);
    if (m == NullMove) return IllegalPvMove;
    UndoRecord undo;
    makeMove(pos, m, undo);
  }
  if (!info.mateScore) return PvComplaintKinds;
  const size_t matePlies = size_t(info.mateIn > 0 ? 2 * info.mateIn - 1 : -2 * info.mateIn);
  if (info.pv.size() < matePlies) return IncompleteMatingPv;
  if (info.pv.size() > matePlies) return TooLongMatingPv;
  const bool check = inCheck(pos);
  if (!check || countMoves(pos, check) != 0) return MatingPvWithoutMate;
  return PvComplaintKinds;
}

struct Settings {
  std::vector<std::string> command[2];
  std::vector<std::string> init[2];
  std::vector<std::string> options[2];  // "name=value"
  bool uci[2] = {false, false};
  int games = 0;  // 0 until given: see the --games option
  std::string level = "0 0:02 0";
  std::string tc;  // the --tc text when the control was given that way
  int movesPerSession = 0;
  int64_t baseMs = 2000;
  int64_t incrementMs = 0;
  int maxPlies = 300;
  int64_t toleranceMs = 20;
  int64_t hangMs = 5000;
  std::string openingsPath;
  std::string fensPath;
  int fenMover = -1;  // the engine that plays each FEN's side to move; -1 for both in turn
  std::string logDir = ".";
  bool keepLogs = false;
  std::string summaryPath;
  bool post = true;
  bool lenientSecond = false;
  bool strictPv = false;
};

// Fault and result counts of one engine over the match.
struct EngineStats {
  std::string name;
  int wins = 0;
  int draws = 0;
  int losses = 0;
  int illegalMoves = 0;
  int timeForfeits = 0;
  int crashes = 0;
  int hangs = 0;
  int protocolErrors = 0;
  int falseClaims = 0;
  int wrongClaims = 0;
  int drawOffers = 0;
  int64_t moves = 0;
  int64_t budgetedMoves = 0;
  int64_t longestMoveMs = 0;
  int64_t thinkingMs = 0;  // all its moves' time, for the mean time a game
  int64_t worstOverBudgetMs = INT64_MIN;
  std::string worstOverBudgetWhere;
  int64_t lowestClockMs = INT64_MAX;
  int64_t infoLines = 0;  // UCI info lines read during its searches
  int64_t pvLines = 0;    // those with a pv, each played out on our board
  int pvComplaints[PvComplaintKinds] = {};

  int faults() const {
    return illegalMoves + timeForfeits + crashes + hangs + protocolErrors + falseClaims +
           wrongClaims;
  }
  int pvComplaintCount() const {
    int total = 0;
    for (int count : pvComplaints) total += count;
    return total;
  }
};

// How a game ended, as the referee decided it.
struct Outcome {
  std::string score;       // "1-0", "0-1", "1/2-1/2"
  std::string reason;      // the comment of the result line
  bool byRule = false;     // ended on the board (mate, stalemate, draw rules), claims are checked
  bool announced = false;  // the final move still goes to the engine that did not make it
};

// The built-in openings: four plies each, from the main families, so that games differ.
constexpr const char* BuiltInOpenings[] = {
    "e2e4 e7e5 g1f3 b8c6", "e2e4 c7c5 g1f3 d7d6", "d2d4 d7d5 c2c4 e7e6", "d2d4 g8f6 c2c4 g7g6",
    "e2e4 e7e6 d2d4 d7d5", "e2e4 c7c6 d2d4 d7d5", "c2c4 e7e5 b1c3 g8f6", "g1f3 d7d5 g2g3 g8f6",
    "d2d4 g8f6 c2c4 e7e6", "e2e4 d7d5 e4d5 d8d5", "d2d4 d7d5 c2c4 c7c6", "e2e4 g8f6 e4e5 f6d5",
    "e2e4 d7d6 d2d4 g8f6", "d2d4 f7f5 g2g3 g8f6", "e2e4 e7e5 f2f4 e5f4", "e2e4 c7c5 b1c3 b8c6",
    "d2d4 g8f6 g1f3 e7e6", "c2c4 c7c5 g1f3 g8f6", "e2e4 e7e5 f1c4 g8f6", "b2b3 e7e5 c1b2 b8c6",
};

// A start position given as FEN, with the side to move that decides the colours.
struct StartPosition {
  std::string fen;
  int sideToMove;
};

class Match {
 public:
  explicit Match(const Settings& settings)
      : settings_(settings), first_(0, transcript_), second_(1, transcript_) {
    engines_[0] = &first_;
    engines_[1] = &second_;
  }

  bool loadOpenings(std::string& error);
  bool loadFens(std::string& error);
  // The games a match plays when --games is not given.
  int defaultGames() const;
  int run();

 private:
  bool startEngine(int e);
  bool synchronise(int e, std::vector<std::string>* claims);
  Outcome playGame(int game, const std::vector<std::string>& opening, const std::string& fen,
                   int whiteEngine);
  bool adjudicate(Position& pos, int plies, Outcome& outcome);
  void finishGame(int whiteEngine, const Outcome& outcome);
  void noteMoveTime(int e, int game, int ply, int64_t elapsedMs, int budgetCs);
  void checkInfo(int e, const std::string& line, const Position& searched, int moveNumber);
  void writeTranscript(int game, bool faulty);
  void printSummary(int games, int64_t seconds);
  std::string sideName(int colour) const { return colour == White ? "White" : "Black"; }

  const Settings& settings_;
  Transcript transcript_;
  EngineProcess first_;
  EngineProcess second_;
  EngineProcess* engines_[2];
  EngineStats stats_[2];
  std::vector<std::vector<std::string>> openings_;
  std::vector<StartPosition> fens_;
  int pingCounter_ = 0;
  bool engineFaulted_[2] = {false, false};
  int gamePvComplaints_[2][PvComplaintKinds] = {};  // this game's, for its report line
};

bool Match::loadOpenings(std::string& error) {
  std::vector<std::string> lines;
  if (settings_.openingsPath.empty()) {
    lines.assign(std::begin(BuiltInOpenings), std::end(BuiltInOpenings));
  } else if (!readListFile(settings_.openingsPath, lines, error)) {
    return false;
  }
  // Every opening must be legal on our own board, or the games would test nothing.
  for (const std::string& line : lines) {
    Position pos;
    setFromFen(pos, StartFen);
    std::vector<std::string> moves;
    for (const std::string& text : words(line)) {
      const Move m = parseUserMove(pos, text);
      if (m == NullMove) {
        error = "illegal opening move " + text + " in \"" + line + "\"";
        return false;
      }
      UndoRecord undo;
      makeMove(pos, m, undo);
      moves.push_back(moveToText(m));
    }
    openings_.push_back(moves);
  }
  if (openings_.empty()) openings_.push_back({});
  return true;
}

// Reads the start positions; every one must be a position our own board accepts.
bool Match::loadFens(std::string& error) {
  std::vector<std::string> lines;
  if (!readListFile(settings_.fensPath, lines, error)) return false;
  for (const std::string& line : lines) {
    std::string fen;
    for (const std::string& field : words(line)) fen += (fen.empty() ? "" : " ") + field;
    Position pos;
    if (!setFromFen(pos, fen)) {
      error = "bad FEN \"" + fen + "\"";
      return false;
    }
    fens_.push_back({fen, pos.sideToMove});
  }
  if (fens_.empty()) {
    error = "no FEN in " + settings_.fensPath;
    return false;
  }
  return true;
}

int Match::defaultGames() const {
  if (fens_.empty()) return 2;
  return int(fens_.size()) * (settings_.fenMover < 0 ? 2 : 1);
}

// Starts an engine and waits for the end of its handshake: "feature done=1" over xboard, "uciok"
// over UCI. Then it gets its settings and init lines.
bool Match::startEngine(int e) {
  EngineProcess& engine = *engines_[e];
  const bool uci = settings_.uci[e];
  if (!engine.start(settings_.command[e])) return false;
  if (uci) {
    engine.send("uci");
  } else {
    engine.send("xboard");
    engine.send("protover 2");
  }
  const auto deadline = SteadyClock::now() + std::chrono::seconds(10);
  for (;;) {
    EngineProcess* const only[1] = {&engine};
    int who = 0;
    std::string line;
    const ReadStatus status = readAny(only, deadline, who, line);
    if (status != ReadStatus::Line) return false;
    if (uci) {
      engine.readUciId(line);
      if (line == "uciok") break;
    } else if (startsWith(line, "feature ") && engine.readFeatures(line)) {
      break;
    }
  }
  for (const std::string& option : settings_.options[e]) {
    const size_t equals = option.find('=');
    const std::string name = option.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
    if (uci)
      engine.send("setoption name " + name +
                  (equals == std::string::npos ? "" : " value " + value));
    else
      engine.send("option " + option);
  }
  for (const std::string& line : settings_.init[e]) engine.send(line);
  // Both engines may be the same program: the number tells them apart.
  if (stats_[e].name.empty())
    stats_[e].name =
        (engine.name().empty() ? "engine" : engine.name()) + " #" + std::to_string(e + 1);
  return true;
}

// Waits until the engine has handled everything sent so far ("ping"/"pong" over xboard,
// "isready"/"readyok" over UCI), collecting result lines an xboard engine announces meanwhile.
// False when it does not answer in time or has died.
bool Match::synchronise(int e, std::vector<std::string>* claims) {
  EngineProcess& engine = *engines_[e];
  if (!engine.running()) return false;
  if (settings_.uci[e]) {
    if (!engine.send("isready")) return false;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(10);
    EngineProcess* const only[1] = {&engine};
    for (;;) {
      int who = 0;
      std::string line;
      if (readAny(only, deadline, who, line) != ReadStatus::Line) return false;
      if (line == "readyok") return true;
    }
  }
  if (!engine.supportsPing()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return engine.running() && !engine.closed();
  }
  const std::string pong = "pong " + std::to_string(++pingCounter_);
  if (!engine.send("ping " + std::to_string(pingCounter_))) return false;
  const auto deadline = SteadyClock::now() + std::chrono::seconds(10);
  EngineProcess* const only[1] = {&engine};
  for (;;) {
    int who = 0;
    std::string line;
    if (readAny(only, deadline, who, line) != ReadStatus::Line) return false;
    if (line == pong) return true;
    if (claims && !claimedScore(line).empty()) claims->push_back(line);
    // Not knowing an optional command ("result", say) is allowed; refusing one is a fault.
    if (isRefusal(line) && line.find("unknown command") == std::string::npos) {
      ++stats_[e].protocolErrors;
      engineFaulted_[e] = true;
      transcript_.note("engine " + std::to_string(e + 1) + " refused a command");
    }
  }
}

// Decides whether the position on our board ends the game, with our own game-end code.
bool Match::adjudicate(Position& pos, int plies, Outcome& outcome) {
  const GameEnd end = gameEnd(pos);
  if (end != GameEnd::None) {
    const std::string line(gameEndText(end));
    const size_t brace = line.find('{');
    outcome.score = claimedScore(line);
    outcome.reason = line.substr(brace + 1, line.find('}') - brace - 1);
    outcome.byRule = outcome.announced = true;
    return true;
  }
  const DrawCode code = checkDraw(pos).code;
  if (code == FiftyMoveDraw || code == RepetitionDraw) {
    outcome.score = "1/2-1/2";
    outcome.reason = code == FiftyMoveDraw ? "Draw by fifty-move rule" : "Draw by repetition";
    outcome.byRule = outcome.announced = true;
    return true;
  }
  if (plies >= settings_.maxPlies) {
    outcome.score = "1/2-1/2";
    outcome.reason = "Draw by adjudication after " + std::to_string(plies) + " plies";
    outcome.announced = true;
    return true;
  }
  return false;
}

void Match::noteMoveTime(int e, int game, int ply, int64_t elapsedMs, int budgetCs) {
  EngineStats& s = stats_[e];
  ++s.moves;
  s.longestMoveMs = std::max(s.longestMoveMs, elapsedMs);
  s.thinkingMs += elapsedMs;
  if (budgetCs == INT_MIN) return;
  ++s.budgetedMoves;
  const int64_t over = elapsedMs - 10 * int64_t(budgetCs);
  if (over > s.worstOverBudgetMs) {
    s.worstOverBudgetMs = over;
    s.worstOverBudgetWhere = "game " + std::to_string(game) + " ply " + std::to_string(ply + 1) +
                             ": " + std::to_string(elapsedMs) + " ms against a budget of " +
                             std::to_string(budgetCs) + " cs";
  }
}

// Runs the PV checks on one info line of engine e, sent while it searched the position. A
// complaint is counted and noted in the transcript with the line and that position's FEN (the
// "position" command itself is in the transcript just before the search).
void Match::checkInfo(int e, const std::string& line, const Position& searched, int moveNumber) {
  EngineStats& s = stats_[e];
  ++s.infoLines;
  const InfoLine info = parseInfo(line);
  auto complain = [&](PvComplaint kind, const std::string& detail) {
    ++s.pvComplaints[kind];
    ++gamePvComplaints_[e][kind];
    transcript_.note("engine " + std::to_string(e + 1) + ": " + PvComplaintLabel[kind] + detail +
                     " in \"" + line + "\", searched from the last \"position\" sent (fen " +
                     fenText(searched, moveNumber) + ")");
  };
  if (info.depth > PlausibleDepth)
    complain(ImplausibleDepth, " (depth " + std::to_string(info.depth) + ")");
  if (!info.hasPv) return;
  ++s.pvLines;
  size_t ply = 0;
  const PvComplaint kind = checkPv(searched, info, ply);
  if (kind == PvComplaintKinds) return;
  std::string detail;
  if (ply < info.pv.size())
    detail = ": " + info.pv[ply] + " at ply " + std::to_string(ply + 1) + " of the pv";
  else
    detail =
        ": " + std::to_string(info.pv.size()) + " plies for mate " + std::to_string(info.mateIn);
  complain(kind, detail);
}

Outcome Match::playGame(int game, const std::vector<std::string>& opening, const std::string& fen,
                        int whiteEngine) {
  transcript_.restart();
  transcript_.note("game " + std::to_string(game));
  Outcome outcome;
  // A crash or a startup failure before the first move loses the game for that engine.
  auto forfeit = [&](int e, const std::string& reason) {
    const int colour = e == whiteEngine ? White : Black;
    outcome.score = colour == White ? "0-1" : "1-0";
    outcome.reason = sideName(colour) + " " + reason;
    engineFaulted_[e] = true;
    transcript_.note(outcome.score + " {" + outcome.reason + "}");
    return outcome;
  };
  for (int e = 0; e < 2; ++e) {
    if (engines_[e]->running()) continue;
    if (!startEngine(e)) {
      ++stats_[e].crashes;
      const std::string how = engines_[e]->closed() ? engines_[e]->reapAfterClose() : "hung";
      engines_[e]->killNow();
      return forfeit(e, "engine failed to start (" + how + ")");
    }
  }
  for (int e = 0; e < 2; ++e) {
    EngineProcess& engine = *engines_[e];
    // A UCI engine is told the whole game with each move.
    if (settings_.uci[e]) {
      engine.send("ucinewgame");
      continue;
    }
    if (!fen.empty() && !engine.supportsSetboard()) {
      ++stats_[e].protocolErrors;
      return forfeit(e, "engine takes no position: it did not announce feature setboard=1");
    }
    engine.send("new");
    engine.send(settings_.post ? "post" : "nopost");
    engine.send("level " + settings_.level);
    if (!fen.empty()) {
      engine.send("force");
      engine.send("setboard " + fen);
    } else if (!opening.empty()) {
      engine.send("force");
      for (const std::string& m : opening) engine.sendMove(m);
    }
  }
  // The clocks start only when both engines have set up the game.
  for (int e = 0; e < 2; ++e)
    if (!synchronise(e, nullptr)) {
      ++stats_[e].hangs;
      engines_[e]->killNow();
      return forfeit(e, "engine did not answer before the game");
    }

  Position pos;
  setFromFen(pos, fen.empty() ? StartFen : std::string_view(fen));
  for (const std::string& text : opening) {
    const Move m = parseUserMove(pos, text);
    UndoRecord undo;
    makeMove(pos, m, undo);
  }
  int64_t clockMs[2] = {settings_.baseMs, settings_.baseMs};
  // An engine in force mode must be told "go" on its first turn; after "new" without an
  // opening or a position, the engine playing black is already waiting for white's move.
  bool needsGo[2];
  for (int e = 0; e < 2; ++e) needsGo[e] = !opening.empty() || !fen.empty() || e == whiteEngine;
  std::string lastMove;
  int plies = int(opening.size());
  int mover = -1;
  // The "position" command of a UCI engine grows by each move of the game.
  std::string positionCommand = fen.empty() ? "position startpos" : "position fen " + fen;
  for (const std::string& m : opening) positionCommand += (&m == &opening[0] ? " moves " : " ") + m;

  while (!adjudicate(pos, plies, outcome)) {
    mover = pos.sideToMove == White ? whiteEngine : 1 - whiteEngine;
    const int other = 1 - mover;
    EngineProcess& engine = *engines_[mover];
    const std::string timeLine =
        "time " + std::to_string(std::max<int64_t>(clockMs[mover], 0) / 10);
    const std::string otimLine =
        "otim " + std::to_string(std::max<int64_t>(clockMs[other], 0) / 10);
    if (settings_.uci[mover]) {
      const int64_t white = std::max<int64_t>(clockMs[whiteEngine], 0);
      const int64_t black = std::max<int64_t>(clockMs[1 - whiteEngine], 0);
      std::string go = "go wtime " + std::to_string(white) + " btime " + std::to_string(black) +
                       " winc " + std::to_string(settings_.incrementMs) + " binc " +
                       std::to_string(settings_.incrementMs);
      if (settings_.movesPerSession > 0) {
        const int fullMoveNumber = plies / 2 + 1;
        go += " movestogo " + std::to_string(settings_.movesPerSession -
                                             (fullMoveNumber - 1) % settings_.movesPerSession);
      }
      engine.send(positionCommand);
      engine.send(go);
    } else if (needsGo[mover]) {
      if (!lastMove.empty()) engine.sendMove(lastMove);
      engine.send(timeLine);
      engine.send(otimLine);
      engine.send("go");
      needsGo[mover] = false;
    } else {
      engine.send(timeLine);
      engine.send(otimLine);
      engine.sendMove(lastMove);
    }
    const auto started = SteadyClock::now();
    const auto hangDeadline =
        started +
        std::chrono::milliseconds(clockMs[mover] + settings_.toleranceMs + settings_.hangMs);
    int budgetCs = INT_MIN;
    std::string moveText;
    SteadyClock::time_point arrived;
    bool lost = false;
    while (moveText.empty() && !lost) {
      int who = 0;
      std::string line;
      const ReadStatus status = readAny(engines_, hangDeadline, who, line);
      if (status == ReadStatus::Timeout) {
        ++stats_[mover].hangs;
        engines_[mover]->killNow();
        forfeit(mover, "engine hung: no move " + std::to_string(settings_.hangMs) +
                           " ms after its flag fell");
        lost = true;
        break;
      }
      if (status == ReadStatus::Closed) {
        ++stats_[who].crashes;
        forfeit(who, "engine crashed (" + engines_[who]->reapAfterClose() + ")");
        lost = true;
        break;
      }
      if (settings_.uci[who]) {
        if (startsWith(line, "bestmove") && who == mover) {
          const std::vector<std::string> parts = words(line);
          moveText = parts.size() > 1 ? parts[1] : "(none)";
          arrived = SteadyClock::now();
        } else if (startsWith(line, "bestmove")) {
          ++stats_[who].protocolErrors;
          forfeit(who, "moved out of turn: " + line);
          lost = true;
        } else if (who == mover && startsWith(line, "info ")) {
          checkInfo(who, line, pos, plies / 2 + 1);
        }
        continue;
      }
      const bool isMove = startsWith(line, "move ");
      if (who == mover && isMove) {
        moveText = line.substr(5);
        arrived = SteadyClock::now();
      } else if (isMove) {
        ++stats_[who].protocolErrors;
        forfeit(who, "moved out of turn: " + line);
        lost = true;
      } else if (who == mover && startsWith(line, "# set maxTime = ")) {
        budgetCs = std::atoi(line.c_str() + 16);
      } else if (line == "resign") {
        const int c = who == whiteEngine ? White : Black;
        outcome.score = c == White ? "0-1" : "1-0";
        outcome.reason = sideName(c) + " resigns";
        lost = true;
      } else if (line == "offer draw") {
        ++stats_[who].drawOffers;
      } else if (!claimedScore(line).empty()) {
        // The game goes on: on our board it has not ended.
        ++stats_[who].falseClaims;
        engineFaulted_[who] = true;
        transcript_.note("false claim by engine " + std::to_string(who + 1));
      } else if (isRefusal(line)) {
        ++stats_[who].protocolErrors;
        forfeit(who, "refused a command: " + line);
        lost = true;
      }
    }
    if (lost) break;

    const int64_t elapsed = millisBetween(started, arrived);
    noteMoveTime(mover, game, plies, elapsed, budgetCs);
    if (elapsed > clockMs[mover] + settings_.toleranceMs) {
      ++stats_[mover].timeForfeits;
      forfeit(mover, "forfeits on time: " + std::to_string(elapsed) + " ms with " +
                         std::to_string(clockMs[mover]) + " ms on the clock");
      break;
    }
    const Move m = parseUserMove(pos, moveText);
    if (m == NullMove) {
      ++stats_[mover].illegalMoves;
      forfeit(mover, "made an illegal move: " + moveText);
      break;
    }
    clockMs[mover] -= elapsed;
    stats_[mover].lowestClockMs = std::min(stats_[mover].lowestClockMs, clockMs[mover]);
    clockMs[mover] += settings_.incrementMs;
    // Periods run by the game's move number, opening moves included, as under a GUI.
    const int fullMoveNumber = plies / 2 + 1;
    if (settings_.movesPerSession > 0 && fullMoveNumber % settings_.movesPerSession == 0)
      clockMs[mover] += settings_.baseMs;
    UndoRecord undo;
    makeMove(pos, m, undo);
    lastMove = moveToText(m);
    positionCommand += (plies == 0 ? " moves " : " ") + lastMove;
    ++plies;
  }
  if (outcome.announced && mover >= 0 && !settings_.uci[1 - mover]) {
    transcript_.note(outcome.score + " {" + outcome.reason + "}");
    // The engine that did not make the final move still sees it, as under a GUI.
    engines_[1 - mover]->sendMove(lastMove);
  }
  return outcome;
}

void Match::writeTranscript(int game, bool faulty) {
  if (!faulty && !settings_.keepLogs) return;
  const std::string path = settings_.logDir + "/game-" + std::to_string(game) + ".log";
  std::ofstream out(path);
  out << transcript_.text();
  if (faulty) std::printf("  transcript: %s\n", path.c_str());
}

void Match::finishGame(int whiteEngine, const Outcome& outcome) {
  const std::string resultLine = "result " + outcome.score + " {" + outcome.reason + "}";
  for (int e = 0; e < 2; ++e) {
    EngineProcess& engine = *engines_[e];
    if (!engine.running()) continue;
    // UCI has no word for the game's end; the engine only has to stay responsive.
    if (!settings_.uci[e]) {
      engine.send("force");
      engine.send(resultLine);
    }
    std::vector<std::string> claims;
    if (!synchronise(e, &claims)) {
      if (engine.closed()) {
        ++stats_[e].crashes;
        transcript_.note("engine " + std::to_string(e + 1) + " crashed after the game (" +
                         engine.reapAfterClose() + ")");
      } else {
        ++stats_[e].hangs;
        transcript_.note("engine " + std::to_string(e + 1) + " did not answer after the game");
      }
      engineFaulted_[e] = true;
      engine.killNow();
      continue;
    }
    // Result lines announced after the final move must agree with ours.
    for (const std::string& claim : claims)
      if (outcome.byRule && claimedScore(claim) != outcome.score) {
        ++stats_[e].wrongClaims;
        engineFaulted_[e] = true;
        transcript_.note("wrong result announced by engine " + std::to_string(e + 1) + ": " +
                         claim);
      }
  }
  const int blackEngine = 1 - whiteEngine;
  if (outcome.score == "1/2-1/2") {
    ++stats_[0].draws;
    ++stats_[1].draws;
  } else {
    const int winner = outcome.score == "1-0" ? whiteEngine : blackEngine;
    ++stats_[winner].wins;
    ++stats_[1 - winner].losses;
  }
}

int Match::run() {
  const auto matchStart = SteadyClock::now();
  const int games = settings_.games > 0 ? settings_.games : defaultGames();
  const std::vector<std::string> noOpening;
  for (int game = 1; game <= games; ++game) {
    const auto& opening =
        fens_.empty() ? openings_[size_t((game - 1) / 2) % openings_.size()] : noOpening;
    int whiteEngine = (game - 1) % 2;
    std::string fen;
    if (!fens_.empty()) {
      const int perFen = settings_.fenMover < 0 ? 2 : 1;
      const StartPosition& start = fens_[size_t((game - 1) / perFen) % fens_.size()];
      const int mover = settings_.fenMover < 0 ? (game - 1) % 2 : settings_.fenMover;
      fen = start.fen;
      whiteEngine = start.sideToMove == White ? mover : 1 - mover;
    }
    engineFaulted_[0] = engineFaulted_[1] = false;
    for (auto& counts : gamePvComplaints_) std::fill(std::begin(counts), std::end(counts), 0);
    const auto gameStart = SteadyClock::now();
    const Outcome outcome = playGame(game, opening, fen, whiteEngine);
    finishGame(whiteEngine, outcome);
    // An engine that misbehaved starts afresh for the next game.
    for (int e = 0; e < 2; ++e)
      if (engineFaulted_[e]) engines_[e]->killNow();
    std::string openingText;
    for (const std::string& m : opening) openingText += (openingText.empty() ? "" : " ") + m;
    const std::string start =
        fen.empty() ? "opening \"" + openingText + "\"" : "position \"" + fen + "\"";
    std::printf("game %d: %s (white) - %s (black), %s: %s {%s}, %.1f s\n", game,
                stats_[whiteEngine].name.c_str(), stats_[1 - whiteEngine].name.c_str(),
                start.c_str(), outcome.score.c_str(), outcome.reason.c_str(),
                double(millisBetween(gameStart, SteadyClock::now())) / 1000.0);
    // A game with complaints about the lines keeps its transcript too, and says what they were.
    std::string complaints;
    for (int e = 0; e < 2; ++e) {
      std::string counts;
      for (int k = 0; k < PvComplaintKinds; ++k)
        if (gamePvComplaints_[e][k] > 0)
          counts += std::string(counts.empty() ? "" : ", ") + PvComplaintLabel[k] + " " +
                    std::to_string(gamePvComplaints_[e][k]);
      if (!counts.empty())
        complaints += "  pv complaints of engine " + std::to_string(e + 1) + ": " + counts + "\n";
    }
    writeTranscript(game, engineFaulted_[0] || engineFaulted_[1] || !complaints.empty());
    std::fputs(complaints.c_str(), stdout);
    std::fflush(stdout);
  }
  for (int e = 0; e < 2; ++e) engines_[e]->stop();
  printSummary(games, millisBetween(matchStart, SteadyClock::now()) / 1000);
  bool failed = false;
  for (int e = 0; e < 2; ++e) {
    const bool counted = !(e == 1 && settings_.lenientSecond);
    const bool lineFaults = settings_.strictPv && stats_[e].pvComplaintCount() > 0;
    if (counted && (stats_[e].faults() > 0 || lineFaults)) failed = true;
  }
  return failed ? 1 : 0;
}

void Match::printSummary(int games, int64_t seconds) {
  std::string lines;
  auto add = [&](const std::string& key, const std::string& value) {
    lines += key + "=" + value + "\n";
  };
  add("games", std::to_string(games));
  add("seconds", std::to_string(seconds));
  add("level", settings_.level);
  if (!settings_.tc.empty()) add("tc", settings_.tc);
  add("max_plies", std::to_string(settings_.maxPlies));
  add("tolerance_ms", std::to_string(settings_.toleranceMs));
  add("hang_ms", std::to_string(settings_.hangMs));
  const std::string control =
      settings_.tc.empty() ? "level " + settings_.level : "tc " + settings_.tc;
  std::printf("\n%d games in %lld s, %s, tolerance %lld ms\n", games, (long long)seconds,
              control.c_str(), (long long)settings_.toleranceMs);
  for (int e = 0; e < 2; ++e) {
    const EngineStats& s = stats_[e];
    const std::string p = "engine" + std::to_string(e + 1) + "_";
    const bool budgeted = s.budgetedMoves > 0;
    std::printf(
        "engine %d, %s: +%d =%d -%d; illegal moves %d, time forfeits %d, crashes %d, hangs %d, "
        "protocol errors %d, false claims %d, wrong results %d, draw offers %d\n",
        e + 1, s.name.c_str(), s.wins, s.draws, s.losses, s.illegalMoves, s.timeForfeits, s.crashes,
        s.hangs, s.protocolErrors, s.falseClaims, s.wrongClaims, s.drawOffers);
    std::printf("  %lld moves, longest %lld ms, lowest clock %lld ms", (long long)s.moves,
                (long long)s.longestMoveMs,
                (long long)(s.lowestClockMs == INT64_MAX ? 0 : s.lowestClockMs));
    if (budgeted)
      std::printf(", longest over its budget %lld ms (%s)\n", (long long)s.worstOverBudgetMs,
                  s.worstOverBudgetWhere.c_str());
    else
      std::printf(", no budget printed\n");
    add(p + "name", s.name);
    add(p + "wins", std::to_string(s.wins));
    add(p + "draws", std::to_string(s.draws));
    add(p + "losses", std::to_string(s.losses));
    add(p + "illegal_moves", std::to_string(s.illegalMoves));
    add(p + "time_forfeits", std::to_string(s.timeForfeits));
    add(p + "crashes", std::to_string(s.crashes));
    add(p + "hangs", std::to_string(s.hangs));
    add(p + "protocol_errors", std::to_string(s.protocolErrors));
    add(p + "false_claims", std::to_string(s.falseClaims));
    add(p + "wrong_results", std::to_string(s.wrongClaims));
    add(p + "draw_offers", std::to_string(s.drawOffers));
    add(p + "moves", std::to_string(s.moves));
    add(p + "longest_move_ms", std::to_string(s.longestMoveMs));
    add(p + "thinking_ms", std::to_string(s.thinkingMs));
    add(p + "lowest_clock_ms", std::to_string(s.lowestClockMs == INT64_MAX ? 0 : s.lowestClockMs));
    add(p + "over_budget_ms", budgeted ? std::to_string(s.worstOverBudgetMs) : "none");
    add(p + "over_budget_where", budgeted ? s.worstOverBudgetWhere : "none");
    add(p + "faults", std::to_string(s.faults()));
    add(p + "protocol", settings_.uci[e] ? "uci" : "xboard");
    if (!settings_.uci[e]) continue;
    std::printf("  %lld info lines, %lld with a pv; ", (long long)s.infoLines,
                (long long)s.pvLines);
    for (int k = 0; k < PvComplaintKinds; ++k) {
      std::printf("%s %d%s", PvComplaintLabel[k], s.pvComplaints[k],
                  k + 1 < PvComplaintKinds ? ", " : "\n");
      add(p + PvComplaintKey[k], std::to_string(s.pvComplaints[k]));
    }
    add(p + "info_lines", std::to_string(s.infoLines));
    add(p + "pv_lines", std::to_string(s.pvLines));
    add(p + "pv_complaints", std::to_string(s.pvComplaintCount()));
  }
  if (!settings_.summaryPath.empty()) {
    std::ofstream out(settings_.summaryPath);
    out << lines;
  }
}

// "M B I": moves per period, base time as minutes or minutes:seconds, increment in seconds.
bool parseLevel(Settings& s) {
  const std::vector<std::string> parts = words(s.level);
  if (parts.size() != 3) return false;
  char* end = nullptr;
  const long moves = std::strtol(parts[0].c_str(), &end, 10);
  if (*end || moves < 0) return false;
  const std::string& base = parts[1];
  const size_t colon = base.find(':');
  const long minutes = std::strtol(base.substr(0, colon).c_str(), &end, 10);
  if (*end || minutes < 0) return false;
  long seconds = 0;
  if (colon != std::string::npos) {
    seconds = std::strtol(base.substr(colon + 1).c_str(), &end, 10);
    if (*end || seconds < 0) return false;
  }
  const long increment = std::strtol(parts[2].c_str(), &end, 10);
  if (*end || increment < 0) return false;
  s.movesPerSession = int(moves);
  s.baseMs = (60 * int64_t(minutes) + seconds) * 1000;
  s.incrementMs = int64_t(increment) * 1000;
  return s.baseMs > 0 || s.incrementMs > 0;
}

// "[M/]B[+I]": moves per period, then the base time and the increment in seconds, fractions
// allowed. The "level" text for xboard engines is set when both times are whole seconds, and
// left empty otherwise.
bool parseTimeControl(Settings& s) {
  std::string text = s.tc;
  char* end = nullptr;
  long moves = 0;
  const size_t slash = text.find('/');
  if (slash != std::string::npos) {
    moves = std::strtol(text.substr(0, slash).c_str(), &end, 10);
    if (*end || slash == 0 || moves < 1) return false;
    text.erase(0, slash + 1);
  }
  auto seconds = [&](const std::string& part, int64_t& ms) {
    const double value = std::strtod(part.c_str(), &end);
    if (part.empty() || *end || !std::isfinite(value) || value < 0 || value > 1e6) return false;
    ms = std::llround(value * 1000);
    return true;
  };
  const size_t plus = text.find('+');
  int64_t baseMs = 0;
  int64_t incrementMs = 0;
  if (!seconds(text.substr(0, plus), baseMs)) return false;
  if (plus != std::string::npos && !seconds(text.substr(plus + 1), incrementMs)) return false;
  s.movesPerSession = int(moves);
  s.baseMs = baseMs;
  s.incrementMs = incrementMs;
  s.level.clear();
  if (baseMs % 1000 == 0 && incrementMs % 1000 == 0) {
    char level[64];
    std::snprintf(level, sizeof level, "%ld %lld:%02lld %lld", moves, (long long)(baseMs / 60000),
                  (long long)(baseMs / 1000 % 60), (long long)(incrementMs / 1000));
    s.level = level;
  }
  return baseMs > 0 || incrementMs > 0;
}

int usage(const char* message) {
  std::fprintf(stderr, "referee: %s\n(see the head of tests/tools/referee.cpp for the options)\n",
               message);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  bool levelGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (option == "--keep-logs") {
      settings.keepLogs = true;
    } else if (option == "--nopost") {
      settings.post = false;
    } else if (option == "--lenient-second") {
      settings.lenientSecond = true;
    } else if (option == "--strict-pv") {
      settings.strictPv = true;
    } else if (option == "--uci1" || option == "--uci2") {
      settings.uci[option == "--uci1" ? 0 : 1] = true;
    } else if ((v = value()) == nullptr) {
      return usage(("missing value for " + option).c_str());
    } else if (option == "--first") {
      settings.command[0] = words(v);
    } else if (option == "--second") {
      settings.command[1] = words(v);
    } else if (option == "--games") {
      settings.games = std::atoi(v);
      if (settings.games < 1) return usage("--games must be at least 1");
    } else if (option == "--level") {
      settings.level = v;
      levelGiven = true;
    } else if (option == "--tc") {
      settings.tc = v;
    } else if (option == "--option1" || option == "--option2") {
      if (std::string_view(v).find('=') == 0) return usage((option + " needs NAME=VALUE").c_str());
      settings.options[option == "--option1" ? 0 : 1].push_back(v);
    } else if (option == "--max-plies") {
      settings.maxPlies = std::atoi(v);
    } else if (option == "--tolerance") {
      settings.toleranceMs = std::atoll(v);
    } else if (option == "--hang") {
      settings.hangMs = std::atoll(v);
    } else if (option == "--openings") {
      settings.openingsPath = v;
    } else if (option == "--fens") {
      settings.fensPath = v;
    } else if (option == "--fen-side") {
      const std::string side = v;
      if (side != "first" && side != "second" && side != "both")
        return usage("--fen-side is first, second or both");
      settings.fenMover = side == "first" ? 0 : side == "second" ? 1 : -1;
    } else if (option == "--init1") {
      settings.init[0].push_back(v);
    } else if (option == "--init2") {
      settings.init[1].push_back(v);
    } else if (option == "--log-dir") {
      settings.logDir = v;
    } else if (option == "--summary") {
      settings.summaryPath = v;
    } else {
      return usage(("unknown option " + option).c_str());
    }
  }
  if (settings.command[0].empty()) return usage("--first is required");
  if (settings.command[1].empty()) settings.command[1] = settings.command[0];
  if (!settings.fensPath.empty() && !settings.openingsPath.empty())
    return usage("--fens and --openings exclude each other");
  // Our board keeps 1024 positions; the cap stays well inside it.
  if (settings.maxPlies < 1 || settings.maxPlies > 1000) return usage("--max-plies is 1..1000");
  if (levelGiven && !settings.tc.empty()) return usage("--level and --tc exclude each other");
  if (!settings.tc.empty()) {
    if (!parseTimeControl(settings))
      return usage("bad --tc, expected \"[M/]B[+I]\" in seconds as in \"5+0.05\"");
    if (settings.level.empty() && !(settings.uci[0] && settings.uci[1]))
      return usage("--tc with fractions of a second needs UCI engines: \"level\" takes seconds");
  } else if (!parseLevel(settings)) {
    return usage("bad --level, expected \"M B I\" as in \"0 0:02 0\"");
  }

  signal(SIGPIPE, SIG_IGN);
  signal(SIGINT, onInterrupt);
  signal(SIGTERM, onInterrupt);
  signal(SIGHUP, onInterrupt);

  Match match(settings);
  std::string error;
  if (!match.loadOpenings(error)) return usage(error.c_str());
  if (!settings.fensPath.empty() && !match.loadFens(error)) return usage(error.c_str());
  return match.run();
}
