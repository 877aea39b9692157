// Runs the engine on an input transcript and compares its standard output with the expected
// transcript, line by line.
//
//   transcript_check <engine> <name.in> <name.out> [engine arguments...]
//
// Input: every line is sent as it stands, except directive lines:
//   @sleep <ms>   pause before sending the next line
//   @wait <line>  pause until the engine writes a line that matches <line>, where {*} matches
//                 as below, after the line that ended the previous @wait (at most 60 s): a
//                 search that must end first then does so however slow the machine is
//   @noeol        send the rest of the file without adding a final line feed
// Expected output: lines are compared exactly, except that
//   {*}           inside a line matches any run of characters (times, node counts)
//   {...}         as a whole line matches any number of lines, including none
// In both, @tables@ stands for the folder of Syzygy tables named by VARNU_SYZYGY_DIR (the check
// is skipped, with exit status 77, when the input needs it and it is absent), and @badtables@
// for a folder of damaged copies of some of them, made for the run and removed after it.
// The engine must end by itself with exit status 0 within the time limit.
// With VARNU_RECORD=1 in the environment the actual output is written to the expected file
// instead (for writing a new transcript; check it by hand before keeping it).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> readLines(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = bool(in);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

// Glob match of one line where "{*}" stands for any run of characters.
bool lineMatches(const std::string& pattern, size_t p, const std::string& text, size_t t) {
  while (p < pattern.size()) {
    if (pattern.compare(p, 3, "{*}") == 0) {
      for (size_t k = t; k <= text.size(); ++k)
        if (lineMatches(pattern, p + 3, text, k)) return true;
      return false;
    }
    if (t >= text.size() || pattern[p] != text[t]) return false;
    ++p;
    ++t;
  }
  return t == text.size();
}

struct Matcher {
  const std::vector<std::string>& expected;
  const std::vector<std::string>& actual;
  std::map<std::pair<size_t, size_t>, bool> memo;
  size_t furthestExpected = 0;
  size_t furthestActual = 0;

  bool match(size_t e, size_t a) {
    auto key = std::make_pair(e, a);
    if (auto it = memo.find(key); it != memo.end()) return it->second;
    bool result;
    if (e == expected.size()) {
      result = a == actual.size();
    } else if (expected[e] == "{...}") {
      result = match(e + 1, a) || (a < actual.size() && match(e, a + 1));
    } else {
      result = a < actual.size() && lineMatches(expected[e], 0, actual[a], 0) && match(e + 1, a + 1);
      if (!result && a < actual.size() && e >= furthestExpected) {
        furthestExpected = e;
        furthestActual = a;
      }
    }
    memo[key] = result;
    return result;
  }
};

bool readFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  bytes = text.str();
  return bool(in);
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return bool(out);
}

// Damaged tables, one of each kind the engine must refuse: a wrong magic number, a size that no
// table has, a table cut short, and a table of other material under a table's name.
bool makeBadTables(const std::string& tables, const std::string& folder) {
  std::string kqk, kqkDtz, krk;
  if (!readFile(tables + "/KQvK.rtbw", kqk) || !readFile(tables + "/KQvK.rtbz", kqkDtz) ||
      !readFile(tables + "/KRvK.rtbw", krk) || krk.size() < 144 || kqkDtz.size() < 100)
    return false;
  if (mkdir(folder.c_str(), 0700) != 0) return false;
  std::string wrongMagic = kqk;
  wrongMagic[0] = char(wrongMagic[0] ^ 0x55);
  return writeFile(folder + "/KQvK.rtbw", wrongMagic) &&
         writeFile(folder + "/KQvK.rtbz", kqkDtz.substr(0, 100)) &&
         writeFile(folder + "/KRvK.rtbw", krk.substr(0, 144)) &&
         writeFile(folder + "/KRvK.rtbz", kqkDtz);
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <engine> <input> <expected> [engine arguments...]\n", argv[0]);
    return 2;
  }
  bool okIn = false, okOut = false;
  std::vector<std::string> input = readLines(argv[2], okIn);
  std::vector<std::string> expected = readLines(argv[3], okOut);
  if (!okIn || !okOut) {
    std::fprintf(stderr, "cannot read %s or %s\n", argv[2], argv[3]);
    return 2;
  }
  bool needsTables = false, needsBadTables = false;
  for (const std::string& line : input) {
    needsTables = needsTables || line.find("@tables@") != std::string::npos;
    needsBadTables = needsBadTables || line.find("@badtables@") != std::string::npos;
  }
  const char* tablesEnv = std::getenv("VARNU_SYZYGY_DIR");
  const std::string tables = tablesEnv ? tablesEnv : "";
  struct stat info;
  if ((needsTables || needsBadTables) &&
      (tables.empty() || stat(tables.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
    std::cout << "skipped: no Syzygy tables (VARNU_SYZYGY_DIR)\n";
    return 77;
  }
  const std::string badTables = "/tmp/varnu_bad_tables_" + std::to_string(getpid());
  if (needsBadTables && !makeBadTables(tables, badTables)) {
    std::fprintf(stderr, "cannot make %s\n", badTables.c_str());
    return 2;
  }
  for (auto* lines : {&input, &expected})
    for (std::string& line : *lines) {
      replaceAll(line, "@badtables@", badTables);
      replaceAll(line, "@tables@", tables);
    }

  int toEngine[2], fromEngine[2];
  if (pipe(toEngine) != 0 || pipe(fromEngine) != 0) return 2;
  signal(SIGPIPE, SIG_IGN);
  const pid_t child = fork();
  if (child == 0) {
    dup2(toEngine[0], 0);
    dup2(fromEngine[1], 1);
    // Only standard input and output stay open: a process the engine leaves behind (Wine's
    // server) would otherwise hold the output pipe open after the engine ends.
    for (const int fd : {toEngine[0], toEngine[1], fromEngine[0], fromEngine[1]}) close(fd);
    std::vector<char*> args{argv[1]};
    for (int i = 4; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execv(argv[1], args.data());
    _exit(127);
  }
  close(toEngine[0]);
  close(fromEngine[1]);

  // The output read so far, shared with the writer for its @wait lines.
  std::string output;
  bool outputEnded = false;
  size_t waited = 0;  // where the next @wait starts to look
  std::mutex outputLock;
  std::condition_variable outputGrew;

  std::thread writer([&] {
    bool finalNewline = true;
    std::string pending;
    for (const std::string& line : input) {
      const bool isSleep = line.rfind("@sleep ", 0) == 0, isWait = line.rfind("@wait ", 0) == 0;
      if ((isSleep || isWait) && !pending.empty()) {
        if (write(toEngine[1], pending.data(), pending.size()) < 0) break;
        pending.clear();
      }
      if (isSleep) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(line.c_str() + 7)));
        continue;
      }
      if (isWait) {
        const std::string pattern = line.substr(6);
        std::unique_lock<std::mutex> lock(outputLock);
        outputGrew.wait_for(lock, std::chrono::seconds(60), [&] {
          for (size_t end; (end = output.find('\n', waited)) != std::string::npos;) {
            const bool found = lineMatches(pattern, 0, output.substr(waited, end - waited), 0);
            waited = end + 1;
            if (found) return true;
          }
          return outputEnded;
        });
        continue;
      }
      if (line == "@noeol") {
        finalNewline = false;
        continue;
      }
      pending += line;
      pending += '\n';
    }
    if (!finalNewline && !pending.empty()) pending.pop_back();
    if (!pending.empty() && write(toEngine[1], pending.data(), pending.size()) < 0) {
      // The engine ended before reading everything; the output comparison tells.
    }
    close(toEngine[1]);
  });

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  bool timedOut = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd pfd{fromEngine[0], POLLIN, 0};
    if (poll(&pfd, 1, int(left)) <= 0) continue;
    char buffer[65536];
    const ssize_t n = read(fromEngine[0], buffer, sizeof buffer);
    if (n <= 0) break;
    std::lock_guard<std::mutex> lock(outputLock);
    output.append(buffer, size_t(n));
    outputGrew.notify_all();
  }
  {
    std::lock_guard<std::mutex> lock(outputLock);
    outputEnded = true;
    outputGrew.notify_all();
  }
  if (timedOut) kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  writer.join();

  if (needsBadTables)
    for (const char* name : {"KQvK.rtbw", "KQvK.rtbz", "KRvK.rtbw", "KRvK.rtbz", ""})
      std::remove((badTables + "/" + name).c_str());
  if (const char* record = std::getenv("VARNU_RECORD"); record && std::string(record) == "1") {
    std::ofstream(argv[3], std::ios::binary) << output;
    return 0;
  }
  const std::vector<std::string> actual = splitLines(output);
  Matcher matcher{expected, actual, {}, 0, 0};
  const bool same = matcher.match(0, 0);
  bool ok = same && !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) {
    if (timedOut) std::cout << "engine did not end within the time limit\n";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      std::cout << "engine ended abnormally (status " << status << ")\n";
    if (!same) {
      std::cout << "output differs; first mismatch near expected line "
                << matcher.furthestExpected + 1 << ", actual line " << matcher.furthestActual + 1
                << "\n";
      if (matcher.furthestExpected < expected.size())
        std::cout << "expected: " << expected[matcher.furthestExpected] << "\n";
      if (matcher.furthestActual < actual.size())
        std::cout << "actual:   " << actual[matcher.furthestActual] << "\n";
    }
    std::cout << "---- actual output ----\n" << output << "\n---- end ----\n";
  }
  return ok ? 0 : 1;
}
