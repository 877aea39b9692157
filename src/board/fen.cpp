#include "board/fen.h"

#include <string>

#include "board/movegen.h"
#include "board/number.h"
#include "board/zobrist.h"

namespace varnu {

namespace {

constexpr int EndOfText = -1;

class FenReader {
 public:
  FenReader(Position& pos, std::string_view text) : p_(pos), text_(text) {}

  // The syntax rules; true when the text is well formed.
  bool read() {
    p_.resetBoard();
    return placement() && side() && castling() && enPassantAndCounters();
  }

 private:
  int peek() const { return i_ < text_.size() ? static_cast<unsigned char>(text_[i_]) : EndOfText; }
  int get() {
    int c = peek();
    if (c != EndOfText) ++i_;
    return c;
  }
  uint64_t& key() { return p_.history[p_.historyCount].key; }

  bool placement() {
    if (peek() == ' ') return false;
    int rank = 7, file = 0;
    for (;;) {
      const int c = get();
      if (c == ' ') return rank == 0 && file == 8;
      if (c == '/') {
        if (file != 8 || rank == 0) return false;
        --rank;
        file = 0;
      } else if (c >= '1' && c <= '8') {
        file += c - '0';
        if (file > 8) return false;
      } else {
        int type = pieceFromLetter(c);
        if (type == NoPiece || file >= 8) return false;
        int colour = (c >= 'a') ? Black : White;
        p_.addPiece(makeSquare(rank, file), colour, type);
        ++file;
      }
    }
  }

  static int pieceFromLetter(int c) {
    switch (c) {
      case 'P': case 'p': return Pawn;
      case 'N': case 'n': return Knight;
      case 'B': case 'b': return Bishop;
      case 'R': case 'r': return Rook;
      case 'Q': case 'q': return Queen;
      case 'K': case 'k': return King;
      default: return NoPiece;
    }
  }

  bool side() {
    const int c = get();
    if (c == 'w') {
      p_.sideToMove = White;
    } else if (c == 'b') {
      p_.sideToMove = Black;
      key() ^= zobrist.side;
    } else {
      return false;
    }
    return get() == ' ';
  }

  bool castling() {
    int c = get();
    if (c == ' ') return true;  // an empty field: no rights
    for (;;) {
      const int rights = p_.castlingRights;
      int bit;
      switch (c) {
        case '-':
          return rights == 0 && get() == ' ';
        case 'K': bit = 0; if (rights) return false; break;
        case 'Q': bit = 1; if (rights & (CastleWQ | CastleBK | CastleBQ)) return false; break;
        case 'k': bit = 2; if (rights & (CastleBK | CastleBQ)) return false; break;
        case 'q': bit = 3; if (rights & CastleBQ) return false; break;
        default: return false;
      }
      p_.castlingRights |= uint8_t(1 << bit);
      key() ^= zobrist.castling[bit];
      c = get();
      if (c == ' ') return true;
    }
  }

  bool enPassantAndCounters() {
    const int c = get();
    if (c != '-') {
      const int digit = get();
      if (c < 'a' || c > 'h' || digit < '1' || digit > '8') return false;
      const int square = makeSquare(digit - '1', c - 'a');
      const int side = p_.sideToMove, other = side ^ 1;
      if (rankOf(square) != (side == White ? 5 : 2)) return false;
      // The pawn passed over the square, so it is empty: a capture there would overwrite a piece.
      if (p_.pieceType[square] != NoPiece) return false;
      const int pawn = square - pawnPush[side];
      if (p_.pieceType[pawn] != Pawn || p_.colour[pawn] != other) return false;
      for (int beside : {pawn - 1, pawn + 1}) {
        if (onBoard(beside) && p_.pieceType[beside] == Pawn && p_.colour[beside] == side &&
            p_.epSquare == NoSquare) {
          p_.epSquare = uint8_t(square);
          key() ^= zobrist.epFile[fileOf(square)];
        }
      }
    }
    const int next = get();
    if (next == EndOfText) return true;  // no counters
    if (next != ' ') return false;
    return counters(text_.substr(i_));
  }

  bool counters(std::string_view rest) {
    const size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) return parseNumber(rest) > 0;
    const std::string_view halfmoves = rest.substr(0, blank);
    if (halfmoves.size() > 4) return false;
    const int h = parseNumber(halfmoves);
    if (h < 0) return false;
    p_.halfmoveClock = uint8_t(h % 256);
    return parseNumber(rest.substr(blank + 1)) > 0;
  }

  Position& p_;
  std::string_view text_;
  size_t i_ = 0;
};

// Drops castling rights whose king or rook is not on its home square: castling with a missing
// rook would move a piece that is not there.
void dropImpossibleRights(Position& p) {
  struct Right {
    int bit, colour, king, rook;
  };
  constexpr Right rights[4] = {{0, White, E1, H1}, {1, White, E1, A1}, {2, Black, E8, H8},
                               {3, Black, E8, A8}};
  for (const Right& r : rights) {
    if (!(p.castlingRights & (1 << r.bit))) continue;
    const bool kingHome = p.kingSquare(r.colour) == r.king;
    const bool rookHome = p.pieceType[r.rook] == Rook && p.colour[r.rook] == r.colour &&
                          p.listSlot[r.rook] != NoSlot;
    if (kingHome && rookHome) continue;
    p.castlingRights &= uint8_t(~(1 << r.bit));
    p.history[p.historyCount].key ^= zobrist.castling[r.bit];
  }
}

// Positions the move generator and the search can work with.
bool playable(const Position& p) {
  for (int c = White; c <= Black; ++c) {
    if (p.kingSquare(c) == NoSquare) return false;
    for (int file = 0; file < 8; ++file) {
      for (int square : {makeSquare(0, file), makeSquare(7, file)})
        if (p.pieceType[square] == Pawn) return false;
    }
  }
  const int mover = p.sideToMove;
  return !isAttacked(p, p.kingSquare(mover ^ 1), mover);
}

}  // namespace

bool setFromFen(Position& pos, std::string_view text) {
  if (!FenReader(pos, text).read()) return false;
  if (!playable(pos)) return false;
  dropImpossibleRights(pos);
  pos.perftKeys[pos.perftKeyIndex] = pos.key();
  return true;
}

void printBoard(Output& out, const Position& pos) { out.block(boardText(pos, "# ") + "#\n"); }

std::string boardText(const Position& pos, std::string_view prefix) {
  std::string text;
  for (int rank = 7; rank >= 0; --rank) {
    text += prefix;
    for (int file = 0; file < 8; ++file) {
      const int s = makeSquare(rank, file);
      char c = pieceLetters[pos.pieceType[s]];
      if (pos.colour[s] == White) c = char(c - 'a' + 'A');
      text += c;
    }
    text += '\n';
  }
  return text;
}

std::string positionToFen(const Position& pos, int fullmoveNumber) {
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const int s = makeSquare(rank, file);
      if (pos.pieceType[s] == NoPiece) {
        ++empty;
        continue;
      }
      if (empty) fen += char('0' + empty);
      empty = 0;
      char c = pieceLetters[pos.pieceType[s]];
      if (pos.colour[s] == White) c = char(c - 'a' + 'A');
      fen += c;
    }
    if (empty) fen += char('0' + empty);
    if (rank > 0) fen += '/';
  }
  fen += pos.sideToMove == White ? " w " : " b ";
  constexpr char rightLetters[4] = {'K', 'Q', 'k', 'q'};
  for (int bit = 0; bit < 4; ++bit)
    if (pos.castlingRights & (1 << bit)) fen += rightLetters[bit];
  if (pos.castlingRights == 0) fen += '-';
  fen += ' ';
  if (pos.epSquare == NoSquare) {
    fen += '-';
  } else {
    fen += char('a' + fileOf(pos.epSquare));
    fen += char('1' + rankOf(pos.epSquare));
  }
  fen += ' ' + std::to_string(pos.halfmoveClock) + ' ' + std::to_string(fullmoveNumber);
  return fen;
}

}  // namespace varnu
