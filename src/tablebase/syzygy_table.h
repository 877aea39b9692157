// One Syzygy table file: a WDL table (.rtbw, win/draw/loss) or a DTZ table (.rtbz, distance to
// the next capture or pawn move), checked when it is opened and read in place from its mapping.
//
// A file holds one or two sides to move and, for tables with pawns, four sub-tables, one per file
// of the leading pawn (a to d, the board mirrored). Each sub-table lists its pieces in the order
// they are encoded, in groups of like pieces; a position becomes an index by its symmetry-reduced
// squares, and the index's value is read from blocks compressed by recursive pairing with
// canonical Huffman codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board/position.h"
#include "platform/mapped_file.h"

namespace varnu {

// The most pieces a table may hold, kings included.
inline constexpr int MaxTablePieces = 7;

// A table's material: how many pieces of each type (pawn to queen) each side has besides its
// king. Side 0 is the side named first in the file name, the "white" of the table.
struct Material {
  uint8_t count[2][7] = {};

  int pieces() const;
  int pawns(int side) const { return count[side][Pawn]; }
  // The same material with the sides swapped.
  Material mirrored() const;
  // A number that names the material, the same for equal material.
  uint32_t key() const;
  // The file name's stem, "KQvKR".
  std::string name() const;
  bool operator==(const Material&) const = default;
};

// The material of a position, White as side 0.
Material materialOf(const Position& pos);
// Reads a file name's stem ("KRPvKR"); false when it names no material of at most
// MaxTablePieces pieces with a king on each side.
bool parseMaterial(std::string_view stem, Material& material);

enum class TableKind : uint8_t { Wdl, Dtz };

// A value as a table stores it, or why it could not be read: the table holds the other side to
// move only, or the position has no index (kings side by side) or the data proved damaged.
struct TableRead {
  enum Status : uint8_t { Ok, OtherSide, Unreadable } status = Ok;
  int value = 0;
};

class SyzygyTable {
 public:
  // Maps and checks the file of a table of this material (its side 0 as the name says); false,
  // with the reason, when it is not a sound table of that material.
  bool open(const std::string& path, TableKind kind, const Material& material, std::string& reason);

  // The stored value for the position, whose material is the table's in either orientation and
  // which has no castling rights (an en-passant square is ignored). WDL: -2 loss, -1 blessed
  // loss, 0 draw, 1 cursed win, 2 win. DTZ: the distance given the WDL result wdl, in plies, or
  // OtherSide when the table holds only the other side to move.
  TableRead read(const Position& pos, int wdl = 0) const;

 private:
  // A sub-table: one side to move, one file of the leading pawn.
  struct Part {
    uint8_t pieces[MaxTablePieces] = {};  // piece codes: 1-6 side 0's pawn to king, 9-14 side 1's
    uint8_t groupLength[MaxTablePieces + 1] = {};   // zero-terminated
    uint64_t groupFactor[MaxTablePieces + 1] = {};  // the last is the sub-table's size
    int groupCount = 0;
    uint8_t flags = 0;
    // The compressed data.
    uint8_t singleValue = 0;
    uint32_t blockSize = 0;
    uint64_t span = 0;
    uint64_t sparseCount = 0;
    uint32_t blockCount = 0;
    uint64_t blockLengthCount = 0;
    int minLength = 0;
    std::vector<uint64_t> base;     // the smallest left-aligned code of each length
    std::vector<uint16_t> lowest;   // the first symbol of each length
    std::vector<uint32_t> expands;  // how many values each symbol stands for, less one
    size_t pairs = 0;               // offset of the symbol pairs (3 bytes each)
    size_t sparse = 0;              // offset of the sparse index (6 bytes an entry)
    size_t lengths = 0;             // offset of the block lengths (2 bytes each)
    size_t blocks = 0;              // offset of the blocks
    uint16_t mapStart[4] = {};      // DTZ: where each result's value map starts
  };

  bool parse(std::string& reason);
  bool readGroups(Part& part, const uint8_t* order, int side, int file, std::string& reason);
  bool readSizes(Part& part, uint64_t& at, std::string& reason);
  bool readSymbols(Part& part, std::string& reason);
  // The index of the position in its sub-table; false when the squares give none.
  bool index(const Position& pos, bool& otherSide, const Part*& part, uint64_t& idx) const;
  // The value at an index; -1 when the data proves corrupt.
  int decode(const Part& part, uint64_t idx) const;
  // A DTZ table's stored value as plies, through the sub-table's map for the result.
  int mapDtz(const Part& part, int value, int wdl) const;
  Part& part(int side, int file) { return parts_[side][hasPawns_ ? file : 0]; }
  const Part& part(int side, int file) const { return parts_[side][hasPawns_ ? file : 0]; }

  MappedFile file_;
  TableKind kind_ = TableKind::Wdl;
  Material material_;
  bool symmetric_ = false;
  bool hasPawns_ = false;
  bool uniquePieces_ = false;
  int pieceCount_ = 0;
  int sides_ = 1;
  int leadPawns_ = 0;   // pawns of the leading colour
  int otherPawns_ = 0;  // pawns of the other colour
  uint8_t leadPawnCode_ = 0;
  size_t map_ = 0;  // DTZ: offset of the value maps
  Part parts_[2][4];
};

}  // namespace varnu
