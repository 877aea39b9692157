#include <gtest/gtest.h>

#include "xboard/command_table.h"

namespace varnu {
namespace {

TEST(Split, KeepsEmptyPieces) {
  EXPECT_EQ(split("", ' '), (Args{""}));
  EXPECT_EQ(split("a b", ' '), (Args{"a", "b"}));
  EXPECT_EQ(split(" e2e4", ' '), (Args{"", "e2e4"}));
  EXPECT_EQ(split("a  b ", ' '), (Args{"a", "", "b", ""}));
  EXPECT_EQ(split("1:2:3", ':'), (Args{"1", "2", "3"}));
}

TEST(CommandTable, HasTheThirtyNineCommandsInOrder) {
  const auto table = commandTable();
  ASSERT_EQ(table.size(), 39u);
  EXPECT_EQ(table.front().name, "quit");
  EXPECT_EQ(table[9].name, "setboard");
  EXPECT_EQ(table[9].minArgs, 4u);
  EXPECT_EQ(table[9].maxArgs, 6u);
  EXPECT_EQ(table[10].name, "variant");
  EXPECT_EQ(table[29].name, "eval");
  EXPECT_EQ(table[32].name, "hint");
  EXPECT_EQ(table[36].name, "egtpath");
  EXPECT_EQ(table.back().name, "black");
}

TEST(CommandTable, FirstPrefixMatchWins) {
  EXPECT_EQ(findCommand("quitting")->name, "quit");
  EXPECT_EQ(findCommand("level40 5 0")->name, "level");
  EXPECT_EQ(findCommand("nopost")->name, "nopost");
  EXPECT_EQ(findCommand("post now")->name, "post");
  EXPECT_EQ(findCommand("otim 100"), nullptr);
  EXPECT_EQ(findCommand("qui"), nullptr);
  EXPECT_EQ(findCommand("sd5")->name, "sd");
}

// The whole-word rows take only their own word, so the lines ignored before they existed stay
// ignored.
TEST(CommandTable, WholeWordRowsLeaveOtherLinesAlone) {
  const struct {
    const char* line;
    const char* command;
  } cases[] = {{"st 5", "st"},   {"st", "st"},           {"st 5 6", "st"},   {"?", "?"},
               {"? now", "?"},   {"stop", nullptr},      {"start", nullptr}, {"st5", nullptr},
               {"??", nullptr},  {"?x", nullptr},        {"hard", "hard"},   {"hardly", nullptr},
               {"easy", "easy"}, {"easygoing", nullptr}, {"hint", "hint"},   {"hints", nullptr},
               {"exclude all", "exclude"}, {"include e2e4", "include"},
               {"excluded", nullptr},      {"includes", nullptr}};
  for (const auto& c : cases) {
    const Command* found = findCommand(c.line);
    if (c.command)
      EXPECT_TRUE(found && found->name == c.command) << c.line;
    else
      EXPECT_EQ(found, nullptr) << c.line;
  }
}

}  // namespace
}  // namespace varnu
