#include "tablebase/syzygy_table.h"

#include <algorithm>

namespace varnu {

namespace {

constexpr uint8_t WdlMagic[4] = {0x71, 0xE8, 0x23, 0x5D};
constexpr uint8_t DtzMagic[4] = {0xD7, 0x66, 0x0C, 0xA5};

// Bits of a file's first byte, and of a sub-table's flags.
enum : uint8_t { SplitFlag = 1, PawnsFlag = 2 };
enum : uint8_t {
  DtzBlackToMove = 1,
  DtzMapped = 2,
  DtzWinInPlies = 4,
  DtzLossInPlies = 8,
  DtzWideMap = 16,
  SingleValueFlag = 128
};

// A square here is 8 * rank + file, a1 = 0, as in the table files.
constexpr int rank8(int s) { return s >> 3; }
constexpr int file8(int s) { return s & 7; }
// Above the a1-h8 diagonal: positive; on it: 0; below: negative.
constexpr int offDiagonal(int s) { return rank8(s) - file8(s); }
constexpr int flipFile(int s) { return s ^ 7; }
constexpr int flipRank(int s) { return s ^ 56; }
constexpr int transpose(int s) { return ((s >> 3) | (s << 3)) & 63; }

// The fixed tables of the index encoding.
struct Geometry {
  // The a1-d1-d4 triangle: the squares below the diagonal 0-5, those on it 6-9; -1 elsewhere.
  int8_t triangle[64];
  // The squares below the a1-h8 diagonal, numbered 0-27 in square order; -1 elsewhere.
  int8_t belowDiagonal[64];
  // The 462 placements of two kings, the first in the triangle (by its number) and the second
  // not beside it and, when the first is on the diagonal, not above it; -1 for none.
  int16_t kingPair[10][64];
  // binomial[k][n]: the ways to choose k of n.
  uint64_t binomial[MaxTablePieces + 1][64];
  // The leading pawn's order: a2 47, h2 46, a3 45, ... b2 35, ...: a pawn nearer the edge, and
  // on the same file one further back, ranks higher. 0 on the first and last ranks.
  int8_t pawnOrder[64];
  // Where the leading pawns' indices begin for a leading pawn on a square, and how many there
  // are per file (a to d), by the number of leading pawns.
  uint32_t leadPawnStart[6][64];
  uint32_t leadPawnSize[6][4];
};

constexpr Geometry makeGeometry() {
  Geometry g{};
  for (int s = 0; s < 64; ++s) g.triangle[s] = g.belowDiagonal[s] = -1;
  int code = 0;
  for (int s = 0; s < 64; ++s)
    if (offDiagonal(s) < 0) g.belowDiagonal[s] = int8_t(code++);
  code = 0;
  for (int s = 0; s < 28; ++s)
    if (file8(s) <= 3 && offDiagonal(s) < 0) g.triangle[s] = int8_t(code++);
  for (int s = 0; s < 28; ++s)
    if (file8(s) <= 3 && offDiagonal(s) == 0) g.triangle[s] = int8_t(code++);

  for (auto& row : g.kingPair)
    for (auto& v : row) v = -1;
  int deferredFirst[32] = {}, deferredSecond[32] = {}, deferred = 0;
  code = 0;
  for (int t = 0; t < 10; ++t)
    for (int k1 = 0; k1 < 28; ++k1) {
      if (g.triangle[k1] != t) continue;
      for (int k2 = 0; k2 < 64; ++k2) {
        const int dr = rank8(k1) - rank8(k2), df = file8(k1) - file8(k2);
        if (dr >= -1 && dr <= 1 && df >= -1 && df <= 1) continue;  // touching or the same
        if (offDiagonal(k1) == 0 && offDiagonal(k2) > 0) continue;
        if (offDiagonal(k1) == 0 && offDiagonal(k2) == 0) {
          deferredFirst[deferred] = t;
          deferredSecond[deferred++] = k2;
        } else {
          g.kingPair[t][k2] = int16_t(code++);
        }
      }
    }
  // Both kings on the diagonal come last.
  for (int i = 0; i < deferred; ++i)
    g.kingPair[deferredFirst[i]][deferredSecond[i]] = int16_t(code++);

  for (int n = 0; n < 64; ++n)
    for (int k = 0; k <= MaxTablePieces; ++k)
      g.binomial[k][n] = k == 0 ? 1 : n == 0 ? 0 : g.binomial[k - 1][n - 1] + g.binomial[k][n - 1];

  int available = 47;
  for (int f = 0; f < 4; ++f)
    for (int r = 1; r <= 6; ++r) {
      g.pawnOrder[8 * r + f] = int8_t(available--);
      g.pawnOrder[flipFile(8 * r + f)] = int8_t(available--);
    }
  for (int count = 1; count <= 5; ++count)
    for (int f = 0; f < 4; ++f) {
      uint32_t start = 0;
      for (int r = 1; r <= 6; ++r) {
        const int s = 8 * r + f;
        g.leadPawnStart[count][s] = start;
        start += uint32_t(g.binomial[count - 1][g.pawnOrder[s]]);
      }
      g.leadPawnSize[count][f] = start;
    }
  return g;
}

constexpr Geometry geometry = makeGeometry();
constexpr int kingPairCount() {
  int n = 0;
  for (const auto& row : geometry.kingPair)
    for (int v : row) n += v >= 0;
  return n;
}
static_assert(kingPairCount() == 462);

uint16_t read16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t read32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The two symbols a pair stands for; a right symbol of 0xFFF marks a plain value (the left).
uint32_t pairLeft(const uint8_t* p) { return uint32_t((p[1] & 0xF) << 8 | p[0]); }
uint32_t pairRight(const uint8_t* p) { return uint32_t(p[2] << 4 | p[1] >> 4); }
constexpr uint32_t NoPair = 0xFFF;

// Piece codes: 1-6 side 0's pawn to king, 9-14 side 1's.
constexpr int pieceCode(int side, int type) { return 8 * side + type; }

}  // namespace

int Material::pieces() const {
  int n = 2;
  for (int side = 0; side < 2; ++side)
    for (int t = Pawn; t <= Queen; ++t) n += count[side][t];
  return n;
}

Material Material::mirrored() const {
  Material m;
  for (int t = Pawn; t <= Queen; ++t) {
    m.count[0][t] = count[1][t];
    m.count[1][t] = count[0][t];
  }
  return m;
}

uint32_t Material::key() const {
  uint32_t k = 0;
  for (int side = 0; side < 2; ++side)
    for (int t = Pawn; t <= Queen; ++t) k = k * 8 + (count[side][t] & 7);
  return k;
}

std::string Material::name() const {
  std::string text;
  for (int side = 0; side < 2; ++side) {
    if (side == 1) text += 'v';
    text += 'K';
    for (int t = Queen; t >= Pawn; --t) text.append(count[side][t], "?PNBRQ"[t]);
  }
  return text;
}

Material materialOf(const Position& pos) {
  Material m;
  for (int side = 0; side < 2; ++side)
    for (int t = Pawn; t <= Queen; ++t)
      m.count[side][t] = uint8_t(std::min(popCount(pos.pieces(side, t)), 7));
  return m;
}

bool parseMaterial(std::string_view stem, Material& material) {
  material = Material{};
  const size_t v = stem.find('v');
  if (v == std::string_view::npos) return false;
  const std::string_view sides[2] = {stem.substr(0, v), stem.substr(v + 1)};
  for (int side = 0; side < 2; ++side) {
    const std::string_view s = sides[side];
    if (s.empty() || s[0] != 'K') return false;
    for (size_t i = 1; i < s.size(); ++i) {
      const size_t t = std::string_view("?PNBRQ").find(s[i]);
      if (t == std::string_view::npos || t == 0) return false;
      ++material.count[side][t];
    }
  }
  return material.pieces() <= MaxTablePieces;
}

bool SyzygyTable::open(const std::string& path, TableKind kind, const Material& material,
                       std::string& reason) {
  kind_ = kind;
  material_ = material;
  if (!file_.open(path, reason)) return false;
  if (parse(reason)) return true;
  file_.close();
  return false;
}

bool SyzygyTable::parse(std::string& reason) {
  const uint8_t* data = file_.data();
  const size_t size = file_.size();
  // Every table ends in a 16-byte checksum after data padded to 64 bytes.
  if (size < 64 + 16 || size % 64 != 16) {
    reason = "has a size that does not fit the format";
    return false;
  }
  if (!std::equal(data, data + 4, kind_ == TableKind::Wdl ? WdlMagic : DtzMagic)) {
    reason = "has the wrong magic number";
    return false;
  }
  const Material& m = material_;
  pieceCount_ = m.pieces();
  if (pieceCount_ > MaxTablePieces) {
    reason = "holds more pieces than any table";
    return false;
  }
  symmetric_ = m == m.mirrored();
  hasPawns_ = m.pawns(0) + m.pawns(1) > 0;
  uniquePieces_ = false;
  for (int side = 0; side < 2; ++side)
    for (int t = Pawn; t <= Queen; ++t)
      if (m.count[side][t] == 1) uniquePieces_ = true;
  // The leading colour is the one with pawns, or the fewer of them when both have some.
  const int lead = m.pawns(1) > 0 && (m.pawns(0) == 0 || m.pawns(1) < m.pawns(0)) ? 1 : 0;
  leadPawns_ = m.pawns(lead);
  otherPawns_ = m.pawns(lead ^ 1);
  leadPawnCode_ = uint8_t(pieceCode(lead, Pawn));
  if (bool(data[4] & PawnsFlag) != hasPawns_ || bool(data[4] & SplitFlag) == symmetric_) {
    reason = "does not hold the material of its name";
    return false;
  }
  sides_ = kind_ == TableKind::Wdl && !symmetric_ ? 2 : 1;
  const int files = hasPawns_ ? 4 : 1;
  const bool bothPawns = hasPawns_ && otherPawns_ > 0;

  // The header: per file, the groups' order and the pieces of each side to move.
  // Offsets are counted in 64 bits, so that no damaged size wraps round on a 32-bit system.
  uint64_t at = 5;
  for (int f = 0; f < files; ++f) {
    const uint8_t* order = data + at;
    at += 1 + bothPawns;
    for (int k = 0; k < pieceCount_; ++k, ++at) {
      part(0, f).pieces[k] = uint8_t(data[at] & 0xF);
      if (sides_ == 2) part(1, f).pieces[k] = uint8_t(data[at] >> 4);
    }
    for (int side = 0; side < sides_; ++side)
      if (!readGroups(part(side, f), order, side, f, reason)) return false;
  }
  at += at & 1;
  for (int f = 0; f < files; ++f)
    for (int side = 0; side < sides_; ++side)
      if (!readSizes(part(side, f), at, reason)) return false;

  // DTZ: the maps from stored values to distances, four per file (one per result).
  if (kind_ == TableKind::Dtz) {
    map_ = at;
    for (int f = 0; f < files; ++f) {
      Part& p = part(0, f);
      if (!(p.flags & DtzMapped)) continue;
      if (p.flags & DtzWideMap) at += at & 1;
      for (int i = 0; i < 4; ++i) {
        if (at + 2 > size) break;
        const uint64_t offset = p.flags & DtzWideMap ? (at - map_) / 2 : at - map_;
        if (offset + 1 > 0xFFFF) break;
        p.mapStart[i] = uint16_t(offset + 1);
        at += p.flags & DtzWideMap ? 2 * size_t(read16(data + at)) + 2 : size_t(data[at]) + 1;
      }
    }
    at += at & 1;
  }

  // Then the sparse indices, the block lengths and the blocks of every sub-table.
  for (int f = 0; f < files; ++f)
    for (int side = 0; side < sides_; ++side) {
      part(side, f).sparse = at;
      at += part(side, f).sparseCount * 6;
    }
  for (int f = 0; f < files; ++f)
    for (int side = 0; side < sides_; ++side) {
      part(side, f).lengths = at;
      at += part(side, f).blockLengthCount * 2;
    }
  for (int f = 0; f < files; ++f)
    for (int side = 0; side < sides_; ++side) {
      Part& p = part(side, f);
      at = (at + 63) & ~uint64_t(63);
      p.blocks = at;
      if (at > size) break;
      at += uint64_t(p.blockCount) * p.blockSize;
    }
  if (at > size - 16) {
    reason = "is truncated";
    return false;
  }
  for (int f = 0; f < files; ++f)
    for (int side = 0; side < sides_; ++side)
      if (!readSymbols(part(side, f), reason)) return false;
  return true;
}

bool SyzygyTable::readGroups(Part& p, const uint8_t* order, int side, int file,
                             std::string& reason) {
  reason = "does not hold the material of its name";
  // The pieces must be the material's, the leading pawns (or kings) first.
  int counts[16] = {};
  for (int k = 0; k < pieceCount_; ++k) ++counts[p.pieces[k]];
  for (int code = 0; code < 16; ++code) {
    const int type = code & 7, s = code >> 3;
    const int want = type == King                    ? 1
                     : type >= Pawn && type <= Queen ? material_.count[s][type]
                                                     : 0;
    if (counts[code] != want) return false;
  }
  // The groups: the first holds the leading pawns, or the three unique pieces that lead, or the
  // two kings; after that each run of like pieces is one.
  int firstLength = hasPawns_ ? 0 : uniquePieces_ ? 3 : 2;
  p.groupCount = 0;
  p.groupLength[0] = 1;
  for (int k = 1; k < pieceCount_; ++k) {
    if (--firstLength > 0 || p.pieces[k] == p.pieces[k - 1])
      ++p.groupLength[p.groupCount];
    else
      p.groupLength[++p.groupCount] = 1;
  }
  p.groupLength[++p.groupCount] = 0;
  if (hasPawns_) {
    if (p.pieces[0] != leadPawnCode_ || p.groupLength[0] != leadPawns_) return false;
    if (otherPawns_ > 0 &&
        (p.pieces[leadPawns_] != (leadPawnCode_ ^ 8) || p.groupLength[1] != otherPawns_))
      return false;
  } else if (p.groupLength[0] != (uniquePieces_ ? 3 : 2)) {
    return false;
  } else if (!uniquePieces_ && ((p.pieces[0] & 7) != King || (p.pieces[1] & 7) != King)) {
    return false;
  }

  // The groups' factors, in the order the file gives: the leading group at order[0], the other
  // colour's pawns at order[1], the remaining groups in between and after.
  const bool bothPawns = hasPawns_ && otherPawns_ > 0;
  const int leadOrder = side ? order[0] >> 4 : order[0] & 0xF;
  const int pawnOrder = bothPawns ? (side ? order[1] >> 4 : order[1] & 0xF) : 0xF;
  int next = bothPawns ? 2 : 1;
  int freeSquares = 64 - p.groupLength[0] - (bothPawns ? p.groupLength[1] : 0);
  uint64_t factor = 1;
  bool leadPlaced = false, pawnsPlaced = !bothPawns;
  for (int k = 0; k < 16 && (next < p.groupCount || !leadPlaced || !pawnsPlaced); ++k) {
    if (k == leadOrder) {
      p.groupFactor[0] = factor;
      factor *= hasPawns_       ? geometry.leadPawnSize[p.groupLength[0]][file]
                : uniquePieces_ ? 31332
                                : 462;
      leadPlaced = true;
    } else if (k == pawnOrder) {
      p.groupFactor[1] = factor;
      factor *= geometry.binomial[p.groupLength[1]][48 - p.groupLength[0]];
      pawnsPlaced = true;
    } else if (next < p.groupCount) {
      p.groupFactor[next] = factor;
      factor *= geometry.binomial[p.groupLength[next]][freeSquares];
      freeSquares -= p.groupLength[next++];
    }
  }
  if (!leadPlaced || !pawnsPlaced || next != p.groupCount) {
    reason = "has a corrupt header";
    return false;
  }
  p.groupFactor[p.groupCount] = factor;
  return true;
}

bool SyzygyTable::readSizes(Part& p, uint64_t& at, std::string& reason) {
  const uint8_t* data = file_.data();
  const size_t size = file_.size();
  reason = "has a corrupt header";
  if (at + 2 > size) return false;
  p.flags = data[at++];
  if (p.flags & SingleValueFlag) {
    p.singleValue = data[at++];
    return true;
  }
  if (at + 10 > size) return false;
  const int blockLog = data[at], spanLog = data[at + 1];
  const int padding = data[at + 2];
  p.blockCount = read32(data + at + 3);
  const int maxLength = data[at + 7];
  p.minLength = data[at + 8];
  at += 9;
  if (blockLog < 2 || blockLog > 30 || spanLog > 40 || p.minLength < 1 || maxLength > 32 ||
      maxLength < p.minLength)
    return false;
  p.blockSize = uint32_t(1) << blockLog;
  p.span = uint64_t(1) << spanLog;
  const uint64_t tableSize = p.groupFactor[p.groupCount];
  p.sparseCount = (tableSize + p.span - 1) / p.span;
  p.blockLengthCount = uint64_t(p.blockCount) + padding;
  if (p.sparseCount > size || p.blockLengthCount > size) return false;

  // The first symbol of each code length, from the longest codes' up.
  const int lengths = maxLength - p.minLength + 1;
  if (at + 2 * size_t(lengths) + 2 > size) return false;
  p.lowest.resize(size_t(lengths));
  for (int i = 0; i < lengths; ++i) p.lowest[size_t(i)] = read16(data + at + 2 * size_t(i));
  at += 2 * size_t(lengths);
  // Canonical codes: all codes of one length are consecutive numbers, and a longer code is
  // smaller than any shorter one once both are aligned to the left of 64 bits. base[i] is the
  // smallest aligned code of length minLength + i.
  p.base.assign(size_t(lengths), 0);
  for (int i = lengths - 2; i >= 0; --i) {
    p.base[size_t(i)] = (p.base[size_t(i) + 1] + p.lowest[size_t(i)] - p.lowest[size_t(i) + 1]) / 2;
  }
  for (int i = 0; i < lengths; ++i) p.base[size_t(i)] <<= 64 - i - p.minLength;

  const size_t symbols = read16(data + at);
  at += 2;
  if (symbols == 0 || symbols > 4096 || at + 3 * symbols > size) return false;
  p.pairs = at;
  p.expands.assign(symbols, 0);
  at += 3 * symbols + (symbols & 1);
  return true;
}

bool SyzygyTable::readSymbols(Part& p, std::string& reason) {
  if (p.flags & SingleValueFlag) return true;
  reason = "has a corrupt symbol table";
  const uint8_t* pairs = file_.data() + p.pairs;
  const size_t symbols = p.expands.size();
  // A symbol stands for the values of its pair's two symbols. The pairs must form a tree: a
  // table whose pairs lead round in a circle is refused.
  std::vector<uint8_t> state(symbols, 0);  // 0 not seen, 1 being counted, 2 counted
  auto count = [&](auto&& self, size_t s) -> bool {
    if (state[s] == 2) return true;
    if (state[s] == 1) return false;
    state[s] = 1;
    const uint8_t* pair = pairs + 3 * s;
    if (pairRight(pair) != NoPair) {
      const uint32_t left = pairLeft(pair), right = pairRight(pair);
      if (left >= symbols || right >= symbols || !self(self, left) || !self(self, right))
        return false;
      const uint64_t n = uint64_t(p.expands[left]) + p.expands[right] + 1;
      if (n > 0xFFFFFF) return false;
      p.expands[s] = uint32_t(n);
    }
    state[s] = 2;
    return true;
  };
  for (size_t s = 0; s < symbols; ++s)
    if (!count(count, s)) return false;
  for (uint16_t first : p.lowest)
    if (first >= symbols) return false;
  return true;
}

bool SyzygyTable::index(const Position& pos, bool& otherSide, const Part*& out,
                        uint64_t& idx) const {
  int squares[MaxTablePieces], pieces[MaxTablePieces];
  int n = 0;
  // The table's side 0 is White in the position unless the position's White has the other
  // side's material; a symmetric table holds White to move only.
  const bool swap = materialOf(pos) != material_ || (symmetric_ && pos.sideToMove == Black);
  const int colourFlip = swap ? 8 : 0, squareFlip = swap ? 56 : 0;
  const int toMove = swap ? pos.sideToMove ^ 1 : pos.sideToMove;

  int file = 0, leadCount = 0;
  if (hasPawns_) {
    const int leadColour = (leadPawnCode_ >> 3) ^ (swap ? 1 : 0);
    for (Bitboard b = pos.pieces(leadColour, Pawn); b; b &= b - 1) {
      if (n == MaxTablePieces) return false;
      squares[n] = lowestIndex(b) ^ squareFlip;
      pieces[n++] = leadPawnCode_;
    }
    leadCount = n;
    if (leadCount == 0) return false;
    int* best = std::max_element(squares, squares + leadCount, [](int a, int b) {
      return geometry.pawnOrder[a] < geometry.pawnOrder[b];
    });
    std::swap(squares[0], *best);
    file = std::min(file8(squares[0]), 7 - file8(squares[0]));
  }
  const Part& p = part(kind_ == TableKind::Wdl ? toMove : 0, file);
  if (kind_ == TableKind::Dtz && (p.flags & DtzBlackToMove) != toMove &&
      !(symmetric_ && !hasPawns_)) {
    otherSide = true;
    return false;
  }
  otherSide = false;
  for (Bitboard b = pos.occupied(); b; b &= b - 1) {
    const int s = lowestIndex(b);
    const int sq0x88 = square0x88(s);
    const int type = pos.pieceType[sq0x88];
    const int code = pieceCode(pos.colour[sq0x88], type) ^ colourFlip;
    if (hasPawns_ && code == leadPawnCode_) continue;
    if (n == MaxTablePieces) return false;
    squares[n] = s ^ squareFlip;
    pieces[n++] = code;
  }
  if (n != pieceCount_) return false;
  // The pieces in the sub-table's order.
  for (int i = leadCount; i < n - 1; ++i)
    for (int j = i + 1; j < n; ++j)
      if (pieces[j] == p.pieces[i]) {
        std::swap(pieces[i], pieces[j]);
        std::swap(squares[i], squares[j]);
        break;
      }
  for (int i = leadCount; i < n; ++i)
    if (pieces[i] != p.pieces[i]) return false;

  // Mirror the board so that the leading piece stands on files a to d.
  if (file8(squares[0]) > 3)
    for (int i = 0; i < n; ++i) squares[i] = flipFile(squares[i]);

  const Geometry& g = geometry;
  if (hasPawns_) {
    idx = g.leadPawnStart[leadCount][squares[0]];
    std::stable_sort(squares + 1, squares + leadCount,
                     [](int a, int b) { return g.pawnOrder[a] < g.pawnOrder[b]; });
    for (int i = 1; i < leadCount; ++i) idx += g.binomial[i][g.pawnOrder[squares[i]]];
  } else {
    // Without pawns the board also turns: the leading piece goes to ranks 1 to 4, and the first
    // piece of the leading group off the diagonal goes below it.
    if (rank8(squares[0]) > 3)
      for (int i = 0; i < n; ++i) squares[i] = flipRank(squares[i]);
    for (int i = 0; i < p.groupLength[0]; ++i) {
      if (offDiagonal(squares[i]) == 0) continue;
      if (offDiagonal(squares[i]) > 0)
        for (int j = i; j < n; ++j) squares[j] = transpose(squares[j]);
      break;
    }
    if (uniquePieces_) {
      const int s0 = squares[0], s1 = squares[1], s2 = squares[2];
      const int adjust1 = s1 > s0;
      const int adjust2 = (s2 > s0) + (s2 > s1);
      if (offDiagonal(s0) != 0)
        idx =
            (uint64_t(g.triangle[s0]) * 63 + uint64_t(s1 - adjust1)) * 62 + uint64_t(s2 - adjust2);
      else if (offDiagonal(s1) != 0)
        idx = (6 * 63 + uint64_t(rank8(s0)) * 28 + uint64_t(g.belowDiagonal[s1])) * 62 +
              uint64_t(s2 - adjust2);
      else if (offDiagonal(s2) != 0)
        idx = 6 * 63 * 62 + 4 * 28 * 62 + uint64_t(rank8(s0)) * 7 * 28 +
              uint64_t(rank8(s1) - adjust1) * 28 + uint64_t(g.belowDiagonal[s2]);
      else
        idx = 6 * 63 * 62 + 4 * 28 * 62 + 4 * 7 * 28 + uint64_t(rank8(s0)) * 7 * 6 +
              uint64_t(rank8(s1) - adjust1) * 6 + uint64_t(rank8(s2) - adjust2);
    } else {
      if (g.triangle[squares[0]] < 0) return false;
      const int pair = g.kingPair[g.triangle[squares[0]]][squares[1]];
      if (pair < 0) return false;  // kings side by side: no such position in the table
      idx = uint64_t(pair);
    }
  }
  idx *= p.groupFactor[0];

  // The other groups: each as a set of squares among those the groups before it left free
  // (pawns never on the first or last rank).
  int* group = squares + p.groupLength[0];
  bool pawnGroup = hasPawns_ && otherPawns_ > 0;
  for (int next = 1; p.groupLength[next]; ++next) {
    const int length = p.groupLength[next];
    std::stable_sort(group, group + length);
    uint64_t sub = 0;
    for (int i = 0; i < length; ++i) {
      const int below = int(std::count_if(squares, group, [&](int s) { return group[i] > s; }));
      const int rankFree = group[i] - below - (pawnGroup ? 8 : 0);
      if (rankFree < 0) return false;
      sub += g.binomial[i + 1][rankFree];
    }
    pawnGroup = false;
    idx += sub * p.groupFactor[next];
    group += length;
  }
  if (idx >= p.groupFactor[p.groupCount]) return false;
  out = &p;
  return true;
}

int SyzygyTable::decode(const Part& p, uint64_t idx) const {
  if (p.flags & SingleValueFlag) return p.singleValue;
  const uint8_t* data = file_.data();
  // The sparse index names a block and an offset for every span-th value, those of the middle of
  // the span; from there the block lengths lead to the block that holds the value.
  const uint64_t k = idx / p.span;
  if (k >= p.sparseCount) return -1;
  const uint8_t* entry = data + p.sparse + 6 * k;
  int64_t block = read32(entry);
  int64_t offset = read16(entry + 4);
  offset += int64_t(idx % p.span) - int64_t(p.span / 2);
  const uint8_t* lengths = data + p.lengths;
  auto blockLength = [&](int64_t b) { return int64_t(read16(lengths + 2 * b)); };
  if (block >= int64_t(p.blockLengthCount)) return -1;
  while (offset < 0) {
    if (--block < 0) return -1;
    offset += blockLength(block) + 1;
  }
  while (offset > blockLength(block)) {
    offset -= blockLength(block) + 1;
    if (++block >= int64_t(p.blockLengthCount)) return -1;
  }
  if (block >= int64_t(p.blockCount)) return -1;

  // The block is a stream of Huffman codes, read 32 bits at a time into a 64-bit window; bytes
  // past its end read as zeros.
  const uint8_t* at = data + p.blocks + uint64_t(block) * p.blockSize;
  const uint8_t* end = at + p.blockSize;
  auto next32 = [&]() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i, ++at) w = w << 8 | (at < end ? *at : 0);
    return uint64_t(w);
  };
  uint64_t window = next32() << 32;
  window |= next32();
  int bits = 64;
  const int lengthCount = int(p.base.size());
  const uint8_t* pairs = data + p.pairs;
  uint32_t symbol;
  for (;;) {
    int length = 0;
    while (length + 1 < lengthCount && window < p.base[size_t(length)]) ++length;
    symbol = uint32_t((window - p.base[size_t(length)]) >> (64 - length - p.minLength));
    symbol += p.lowest[size_t(length)];
    if (symbol >= p.expands.size()) return -1;
    if (offset < int64_t(p.expands[symbol]) + 1) break;
    offset -= int64_t(p.expands[symbol]) + 1;
    const int used = length + p.minLength;
    window <<= used;
    bits -= used;
    if (bits <= 32) {
      bits += 32;
      window |= next32() << (64 - bits);
    }
  }
  // The symbol stands for a run of values; halve it down to the one at the offset.
  while (p.expands[symbol] != 0) {
    const uint8_t* pair = pairs + 3 * symbol;
    const uint32_t left = pairLeft(pair);
    if (offset < int64_t(p.expands[left]) + 1) {
      symbol = left;
    } else {
      offset -= int64_t(p.expands[left]) + 1;
      symbol = pairRight(pair);
    }
  }
  return int(pairLeft(pairs + 3 * symbol));
}

int SyzygyTable::mapDtz(const Part& p, int value, int wdl) const {
  if (p.flags & DtzMapped) {
    // Which map serves a result: win and cursed win differ from loss and blessed loss.
    constexpr int mapOf[5] = {1, 3, 0, 2, 0};
    const size_t start = p.mapStart[mapOf[wdl + 2]];
    const uint8_t* data = file_.data();
    if (p.flags & DtzWideMap) {
      const size_t at = map_ + 2 * (start + size_t(value));
      if (at + 2 > file_.size()) return -1;
      value = read16(data + at);
    } else {
      const size_t at = map_ + start + size_t(value);
      if (at + 1 > file_.size()) return -1;
      value = data[at];
    }
  }
  // The table counts in moves unless its flags say plies; a cursed win or blessed loss always
  // counts in moves.
  const bool plies =
      (wdl == 2 && (p.flags & DtzWinInPlies)) || (wdl == -2 && (p.flags & DtzLossInPlies));
  if (!plies) value *= 2;
  return value + 1;
}

TableRead SyzygyTable::read(const Position& pos, int wdl) const {
  TableRead r;
  bool otherSide = false;
  const Part* p = nullptr;
  uint64_t idx = 0;
  if (!index(pos, otherSide, p, idx)) {
    r.status = otherSide ? TableRead::OtherSide : TableRead::Unreadable;
    return r;
  }
  const int value = decode(*p, idx);
  if (value < 0) {
    r.status = TableRead::Unreadable;
    return r;
  }
  if (kind_ == TableKind::Wdl) {
    if (value > 4) r.status = TableRead::Unreadable;
    r.value = value - 2;
    return r;
  }
  r.value = mapDtz(*p, value, wdl);
  if (r.value < 0) r.status = TableRead::Unreadable;
  return r;
}

}  // namespace varnu
