#include "book/opening_book.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/move.h"

namespace varnu {
namespace {

// Polyglot move encoding of a coordinate text such as "e1h1", with a raw promotion field.
uint16_t bookMove(std::string_view text, int promotionField = 0) {
  const int fromFile = text[0] - 'a', fromRank = text[1] - '1';
  const int toFile = text[2] - 'a', toRank = text[3] - '1';
  return uint16_t(toFile | toRank << 3 | fromFile << 6 | fromRank << 9 | promotionField << 12);
}

struct Record {
  uint64_t key;
  uint16_t move;
  uint16_t weight;
};

void putBigEndian(std::string& bytes, uint64_t value, int size) {
  for (int i = size - 1; i >= 0; --i) bytes.push_back(char((value >> (8 * i)) & 0xFF));
}

std::string encode(const Record& r) {
  std::string bytes;
  putBigEndian(bytes, r.key, 8);
  putBigEndian(bytes, r.move, 2);
  putBigEndian(bytes, r.weight, 2);
  // The learn field, never used. Its bytes are CR LF and Ctrl-Z, which a book file read in text
  // mode on Windows would lose or take for the end of the file.
  putBigEndian(bytes, 0x0D0A1A0A, 4);
  return bytes;
}

Position positionFrom(std::string_view fen) {
  Position pos;
  EXPECT_TRUE(setFromFen(pos, fen)) << fen;
  return pos;
}

const uint64_t startKey = 0x463b96181691fc9c;

class BookProbe : public testing::Test {
 protected:
  // Writes the records, then the raw tail, to a new file in the temporary folder.
  std::string writeBook(const std::vector<Record>& records, const std::string& tail = "") {
    std::string bytes;
    for (const Record& r : records) bytes += encode(r);
    return writeRaw(bytes + tail);
  }

  std::string writeRaw(const std::string& bytes) { return overwrite(freshPath(), bytes); }

  static std::string overwrite(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    EXPECT_TRUE(file.good()) << path;
    return path;
  }

  // A name no other test, nor another build's test run, uses at the same time.
  std::string freshPath() {
    static std::random_device device;
    const std::string path = testing::TempDir() + "varnu_book_" +
                             testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                             std::to_string(paths_.size()) + "_" + std::to_string(device()) +
                             ".bin";
    paths_.push_back(path);
    return path;
  }

  void TearDown() override {
    std::error_code ec;
    for (const std::string& p : paths_) std::filesystem::remove(p, ec);
  }

  // Probes the book at path once with a fixed seed.
  Move probeOnce(const std::string& path, Position& pos) {
    OpeningBook book(path, 7);
    return book.probe(pos, failure_);
  }

  int failure_ = 0;  // the error code of the last probe
  std::vector<std::string> paths_;
};

struct ConversionCase {
  const char* fen;
  const char* bookText;
  int promotionField;
  const char* expected;  // our move text, nullptr when the record must give no book move
};

// Each record alone in a book: the move it becomes, flags included, or none.
TEST_F(BookProbe, SingleRecordConvertsToTheLegalMove) {
  const char* castle = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
  const char* castleBlack = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1";
  const char* noRights = "r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1";
  const char* noRook = "r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1";
  const char* promo = "1n5k/P7/8/8/8/8/8/4K3 w - - 0 1";
  const char* ep = "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3";
  const char* start = StartFen.data();
  const ConversionCase cases[] = {
      {start, "e2e4", 0, "e2e4"},
      {start, "g1f3", 0, "g1f3"},
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", "c7c5", 0, "c7c5"},
      {castle, "e1h1", 0, "e1g1"},
      {castle, "e1g1", 0, "e1g1"},
      {castle, "e1a1", 0, "e1c1"},
      {castle, "e1c1", 0, "e1c1"},
      {castleBlack, "e8h8", 0, "e8g8"},
      {castleBlack, "e8g8", 0, "e8g8"},
      {castleBlack, "e8a8", 0, "e8c8"},
      {castleBlack, "e8c8", 0, "e8c8"},
      {ep, "e5f6", 0, "e5f6"},
      {promo, "a7a8", 1, "a7a8n"},
      {promo, "a7a8", 2, "a7a8b"},
      {promo, "a7a8", 3, "a7a8r"},
      {promo, "a7b8", 4, "a7b8q"},
      // Corrupt records, or records written for other rules.
      {start, "e2e5", 0, nullptr},
      {start, "e7e5", 0, nullptr},
      {start, "e1h1", 0, nullptr},
      {noRights, "e1h1", 0, nullptr},
      {noRook, "e1a1", 0, nullptr},
      {noRook, "e1c1", 0, nullptr},
      {castle, "e1h1", 4, nullptr},
      {start, "g1f3", 4, nullptr},
      {promo, "a7a8", 0, nullptr},
      {promo, "a7a8", 5, nullptr},
      {promo, "a7a8", 6, nullptr},
      {promo, "a7a8", 7, nullptr},
  };
  for (const ConversionCase& c : cases) {
    Position pos = positionFrom(c.fen);
    const std::string path =
        writeBook({{polyglotKey(pos), bookMove(c.bookText, c.promotionField), 1}});
    const Move m = probeOnce(path, pos);
    const std::string label =
        std::string(c.fen) + " " + c.bookText + " field " + std::to_string(c.promotionField);
    if (c.expected) {
      // The legal move parsed from our own text carries the exact kind and flags makeMove needs.
      const Move legal = parseUserMove(pos, c.expected);
      ASSERT_NE(legal, NullMove) << label;
      EXPECT_EQ(m, legal) << label;
    } else {
      EXPECT_EQ(m, NullMove) << label;
    }
  }
  EXPECT_EQ(failure_, 0);
}

struct Share {
  const char* text;
  uint16_t weight;
  double low, high;  // expected share of the probes
};

// Weighted choice over many probes with a fixed seed, for small weights and for weights whose sum
// is far beyond one 15-bit random number.
TEST_F(BookProbe, ChoosesInProportionToTheWeights) {
  const std::vector<std::vector<Share>> books = {
      {{"e2e4", 1, 0.22, 0.28}, {"d2d4", 0, 0.0, 0.0}, {"g1f3", 3, 0.72, 0.78}},
      {{"e2e4", 40000, 0.47, 0.53}, {"d2d4", 40000, 0.47, 0.53}},
      {{"e2e4", 65535, 0.30, 0.37}, {"d2d4", 65535, 0.30, 0.37}, {"c2c4", 65535, 0.30, 0.37}},
  };
  constexpr int probes = 8000;
  for (const std::vector<Share>& shares : books) {
    std::vector<Record> records;
    for (const Share& s : shares) records.push_back({startKey, bookMove(s.text), s.weight});
    OpeningBook book(writeBook(records), 12345);
    Position pos = positionFrom(StartFen);
    std::vector<int> chosen(shares.size(), 0);
    for (int i = 0; i < probes; ++i) {
      const std::string text = moveToText(book.probe(pos, failure_));
      for (size_t k = 0; k < shares.size(); ++k) chosen[k] += text == shares[k].text;
    }
    for (size_t k = 0; k < shares.size(); ++k) {
      const double share = double(chosen[k]) / probes;
      EXPECT_GE(share, shares[k].low) << shares[k].text << " weight " << shares[k].weight;
      EXPECT_LE(share, shares[k].high) << shares[k].text << " weight " << shares[k].weight;
    }
  }
}

// With every weight zero the record the binary search lands on is played: with n records of one
// key the search first looks at index n / 2.
TEST_F(BookProbe, AllWeightsZeroTakeTheRecordTheSearchLandsOn) {
  const char* texts[] = {"a2a3", "b2b3", "c2c3", "d2d3", "e2e3"};
  for (int n = 1; n <= 5; ++n) {
    std::vector<Record> records;
    for (int i = 0; i < n; ++i) records.push_back({startKey, bookMove(texts[i]), 0});
    OpeningBook book(writeBook(records), 99);
    Position pos = positionFrom(StartFen);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(moveToText(book.probe(pos, failure_)), texts[n / 2]) << n;
  }
}

// The wanted record at every index of books of 1 to 12 records with other keys around it, and
// the same books without it.
TEST_F(BookProbe, BinarySearchFindsTheKeyAtEveryIndex) {
  Position pos = positionFrom(StartFen);
  for (uint64_t n = 1; n <= 12; ++n) {
    for (uint64_t at = 0; at < n; ++at) {
      std::vector<Record> with, without;
      for (uint64_t i = 0; i < n; ++i) {
        const uint64_t key = startKey - at + i;  // ascending, startKey at index `at`
        with.push_back({key, bookMove(i == at ? "e2e4" : "d2d4"), 1});
        without.push_back({i == at ? startKey + n : key, bookMove("d2d4"), 1});
      }
      std::sort(without.begin(), without.end(),
                [](const Record& a, const Record& b) { return a.key < b.key; });
      EXPECT_EQ(moveToText(probeOnce(writeBook(with), pos)), "e2e4") << n << " at " << at;
      EXPECT_EQ(probeOnce(writeBook(without), pos), NullMove) << n << " at " << at;
    }
  }
  EXPECT_EQ(failure_, 0);
}

// Short, truncated and missing files give no book move and print nothing; a tail shorter than a
// record is never read as one, even when it starts with the key.
TEST_F(BookProbe, ShortTruncatedAndMissingFiles) {
  Position pos = positionFrom(StartFen);
  const std::string wanted = encode({startKey, bookMove("e2e4"), 1});
  const std::string lower = encode({startKey - 1, bookMove("d2d4"), 1});
  struct FileCase {
    std::string bytes;
    const char* expected;
  };
  const FileCase cases[] = {
      {"", nullptr},
      {wanted.substr(0, 15), nullptr},
      {lower + wanted.substr(0, 15), nullptr},
      {lower + wanted + wanted.substr(0, 7), "e2e4"},
      {lower + wanted + lower.substr(0, 1), "e2e4"},
  };
  for (const FileCase& c : cases) {
    const Move m = probeOnce(writeRaw(c.bytes), pos);
    EXPECT_EQ(m == NullMove ? "none" : moveToText(m), c.expected ? c.expected : "none")
        << c.bytes.size() << " bytes";
  }
  EXPECT_EQ(probeOnce(testing::TempDir() + "varnu_book_no_such_file.bin", pos), NullMove);
  EXPECT_EQ(probeOnce(testing::TempDir(), pos), NullMove);  // a directory
  EXPECT_EQ(failure_, 0);
}

// A book larger than 4 GiB: offsets past 32 bits, which a C `long` on Windows cannot hold. The
// file is mostly a hole (records of key 0), so it takes no disk space.
TEST_F(BookProbe, ReadsBeyondFourGigabytes) {
  Position pos = positionFrom(StartFen);
  const std::string path = freshPath();
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    const std::string wanted = encode({startKey, bookMove("e2e4"), 1});
    file.seekp(std::streamoff(1) << 32);
    file.write(wanted.data(), std::streamsize(wanted.size()));
    ASSERT_TRUE(file.good()) << path;
  }
  EXPECT_EQ(moveToText(probeOnce(path, pos)), "e2e4");
  EXPECT_EQ(failure_, 0);
}

// Unusable candidates are dropped before the choice, whatever their weight: the legal one is
// always played, and a book of unusable records only gives no book move.
TEST_F(BookProbe, UnusableCandidatesAreNeverChosen) {
  Position pos = positionFrom(StartFen);
  const std::vector<Record> mixed = {{startKey, bookMove("e2e5"), 60000},
                                     {startKey, bookMove("e7e5"), 60000},
                                     {startKey, bookMove("d2d4"), 1},
                                     {startKey, bookMove("g1f3", 5), 60000},
                                     {startKey, bookMove("b1c3", 7), 0}};
  OpeningBook book(writeBook(mixed), 3);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(moveToText(book.probe(pos, failure_)), "d2d4");
  std::vector<Record> unusable = mixed;
  unusable.erase(unusable.begin() + 2);
  EXPECT_EQ(probeOnce(writeBook(unusable), pos), NullMove);
}

// At most 256 records of one position are looked at. With 300 records the search lands on index
// 150 and collects 150 down to 0, then 151 up to 255; with 600 it lands on 300 and collects 300
// down to 45 only.
TEST_F(BookProbe, CollectsAtMost256Candidates) {
  Position pos = positionFrom(StartFen);
  const struct {
    int records;
    int legalAt;
    const char* expected;
  } cases[] = {{300, 0, "e2e4"},    {300, 150, "e2e4"}, {300, 255, "e2e4"}, {300, 256, nullptr},
               {300, 299, nullptr}, {600, 45, "e2e4"},  {600, 44, nullptr}, {600, 301, nullptr}};
  for (const auto& c : cases) {
    std::vector<Record> records(size_t(c.records), {startKey, bookMove("e2e5"), 1});
    records[size_t(c.legalAt)].move = bookMove("e2e4");
    const Move m = probeOnce(writeBook(records), pos);
    EXPECT_EQ(m == NullMove ? "none" : moveToText(m), c.expected ? c.expected : "none")
        << c.records << " records, legal one at " << c.legalAt;
  }
}

// A new path takes effect at the next probe, and a file replaced between probes is searched with
// its new length.
TEST_F(BookProbe, NextProbeReadsTheNewPathAndTheReplacedFile) {
  Position pos = positionFrom(StartFen);
  const std::string first = writeBook({{startKey, bookMove("e2e4"), 1}});
  const std::string second = writeBook({{startKey, bookMove("d2d4"), 1}});
  OpeningBook book(first, 5);
  EXPECT_EQ(moveToText(book.probe(pos, failure_)), "e2e4");
  book.setPath(second);
  EXPECT_EQ(book.path(), second);
  EXPECT_EQ(moveToText(book.probe(pos, failure_)), "d2d4");

  std::vector<Record> longer;
  for (uint64_t i = 8; i >= 1; --i) longer.push_back({startKey - i, bookMove("a2a3"), 1});
  longer.push_back({startKey, bookMove("c2c4"), 1});
  std::string bytes;
  for (const Record& r : longer) bytes += encode(r);
  overwrite(second, bytes);
  EXPECT_EQ(moveToText(book.probe(pos, failure_)), "c2c4");
  EXPECT_EQ(failure_, 0);
}

}  // namespace
}  // namespace varnu
