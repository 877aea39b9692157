// Feeds the built engine hostile input on standard input: it must neither crash nor hang, must
// still answer afterwards, and must exit with status 0 at the end of input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

// The engine built beside the tests, or the command named by VARNU_ENGINE in the environment:
// CI runs these tests against the Windows build under Wine that way.
std::string engineUnderTest() {
  const char* other = std::getenv("VARNU_ENGINE");
  return other && *other ? other : VARNU_ENGINE_PATH;
}

struct RunResult {
  int status;
  std::string output;
};

RunResult runEngine(const std::string& input) {
  const std::string base = testing::TempDir() + "varnu_robustness_" +
                           std::to_string(reinterpret_cast<uintptr_t>(&input));
  {
    std::ofstream in(base + ".in", std::ios::binary);
    in << input;
  }
  const std::string command =
      "timeout 120 " + engineUnderTest() + " < " + base + ".in > " + base + ".out 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream out(base + ".out", std::ios::binary);
  std::stringstream text;
  text << out.rdbuf();
  std::remove((base + ".in").c_str());
  std::remove((base + ".out").c_str());
  return {status, text.str()};
}

bool exitedCleanly(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

TEST(Robustness, RandomBytes) {
  std::mt19937 random(2026);
  std::string input;
  for (int i = 0; i < 200000; ++i) {
    char c = char(random() & 0xFF);
    if (random() % 40 == 0) c = '\n';
    input += c;
  }
  // Lines that happen to start with "quit" would end the run early.
  std::string filtered;
  std::istringstream lines(input);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("quit", 0) != 0) filtered += line + "\n";
  filtered += "\nping 4242\n";
  const RunResult r = runEngine(filtered);
  EXPECT_TRUE(exitedCleanly(r.status)) << r.status;
  EXPECT_NE(r.output.find("pong 4242"), std::string::npos);
}

TEST(Robustness, CommandWordsWithRandomArguments) {
  const char* words[] = {"xboard",    "protover", "new",   "force",  "ping",  "usermove",
                         "playother", "setboard", "level", "sd",     "time",  "undo",
                         "remove",    "exit",     "post",  "nopost", "cores", "book",
                         "nobook",    "eval",     "st",    "?"};
  const char* pieces[] = {"", " ", "-", "0", "1", "99999999999999999999", "-2147483649", "e2e4",
                          "e7e8q", "a1h8", "KQkq", "w", "b", "8/8/8/8/8/8/8/8", ":", "1:2:3",
                          "=", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "\t", "\r"};
  std::mt19937 random(7);
  std::string input;
  for (int i = 0; i < 3000; ++i) {
    input += words[random() % std::size(words)];
    const int n = int(random() % 8);
    for (int k = 0; k < n; ++k) {
      input += ' ';
      input += pieces[random() % std::size(pieces)];
    }
    input += '\n';
  }
  input += "force\nping 4243\n";  // force stops any search the words started
  const RunResult r = runEngine(input);
  EXPECT_TRUE(exitedCleanly(r.status)) << r.status;
  EXPECT_NE(r.output.find("pong 4243"), std::string::npos);
}

TEST(Robustness, VeryLongLinesAreCutAndReadOnInPieces) {
  std::string input(1023, 'x');
  input += "ping 1\n";  // continues the cut line: its rest is read as a line of its own
  input += std::string(5000, ' ') + "\n";
  input += std::string(3000, 'p') + "\n";
  input += "ping 4244";  // no final line feed
  const RunResult r = runEngine(input);
  EXPECT_TRUE(exitedCleanly(r.status)) << r.status;
  EXPECT_NE(r.output.find("pong 1\n"), std::string::npos);
  EXPECT_NE(r.output.find("pong 4244\n"), std::string::npos);
}

}  // namespace
