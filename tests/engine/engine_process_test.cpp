// The built engine as a process: book moves through the protocol.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string runEngine(const std::string& input, const std::string& name) {
  const std::string base = testing::TempDir() + "varnu_process_" + name;
  std::ofstream(base + ".in", std::ios::binary) << input;
  const std::string command =
      "timeout 60 " VARNU_ENGINE_PATH " < " + base + ".in > " + base + ".out 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::ifstream out(base + ".out", std::ios::binary);
  std::stringstream text;
  text << out.rdbuf();
  std::remove((base + ".in").c_str());
  std::remove((base + ".out").c_str());
  return text.str();
}

// Writes a book with one record: e2e4 in the start position. Each test has a file of its own,
// since the tests may run in parallel.
std::string writeStartBook(const std::string& name) {
  const std::string path = testing::TempDir() + "varnu_start_book_" + name + ".bin";
  const unsigned char record[16] = {0x46, 0x3b, 0x96, 0x18, 0x16, 0x91, 0xfc, 0x9c,
                                    0x03, 0x1c, 0x00, 0x01, 0, 0, 0, 0};  // move 796 = e2e4
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(record), 16);
  return path;
}

TEST(EngineProcess, PlaysTheBookMoveWithoutSearching) {
  const std::string book = writeStartBook("book");
  const std::string out =
      runEngine("xboard\noption bookFilePath=" + book + "\nnew\ngo\nping 1\n", "book");
  EXPECT_NE(out.find("# setting option: bookFilePath=" + book + "\n"), std::string::npos);
  EXPECT_NE(out.find("# set maxTime = 675\n# making engine move: e2e4\nmove e2e4\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("# total nodes"), std::string::npos);  // no search ran
  std::remove(book.c_str());
}

TEST(EngineProcess, NoBookMeansASearch) {
  const std::string book = writeStartBook("nobook");
  const std::string out = runEngine(
      "xboard\noption bookFilePath=" + book + "\nnobook\nnew\nsd 2\ngo\nping 1\n", "nobook");
  EXPECT_NE(out.find("# total nodes"), std::string::npos) << out;
  EXPECT_NE(out.find("\nmove "), std::string::npos) << out;
  std::remove(book.c_str());
}

TEST(EngineProcess, AnalysisNeverConsultsTheBook) {
  const std::string book = writeStartBook("analyze");
  const std::string out =
      runEngine("xboard\noption bookFilePath=" + book + "\nnew\nanalyze\nping 1\n", "analyze");
  EXPECT_EQ(out.find("move e2e4"), std::string::npos) << out;
  EXPECT_EQ(out.find("# set maxTime"), std::string::npos) << out;
  std::remove(book.c_str());
}

}  // namespace
