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
  FenReader(Position& pos, std::string_view text, bool chess960)
      : p_(pos), text_(text), chess960_(chess960) {}

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

  // The castling field: "-", nothing, or letters naming rights. K, Q, k and q name the outermost
  // rook on the king's or the queen's side and come in that order; a file letter (upper case for
  // white, lower case for black) names the rook on that file. A right whose king or rook is not
  // where castling needs it fails the text.
  bool castling() {
    int c = get();
    if (c == '-') {
      if (get() != ' ') return false;
    } else {
      for (; c != ' '; c = get())
        if (!castlingRight(c)) return false;
    }
    p_.setCastlingLayout(rooks_);
    return true;
  }

  bool castlingRight(int c) {
    const bool white = c >= 'A' && c <= 'Z';
    const int colour = white ? White : Black;
    const int letter = white ? c - 'A' + 'a' : c;
    const int backRank = colour == White ? 0 : 7;
    const int king = p_.kingSquare(colour);
    if (king == NoSquare || rankOf(king) != backRank || p_.pieceList[colour].typeCount[King] != 1)
      return false;
    int code, rook = NoSquare;
    if (letter == 'k' || letter == 'q') {
      const int side = letter == 'k' ? 0 : 1;
      code = 2 * colour + side;
      if (p_.castlingRights & ~((1 << code) - 1)) return false;
      const int step = side == 0 ? -1 : 1;
      for (int s = makeSquare(backRank, side == 0 ? 7 : 0); s != king; s += step) {
        if (ownRook(s, colour)) {
          rook = s;
          break;
        }
      }
    } else if (letter >= 'a' && letter <= 'h') {
      const int file = letter - 'a';
      if (file == fileOf(king)) return false;
      code = 2 * colour + (file > fileOf(king) ? 0 : 1);
      if (p_.castlingRights & (1 << code)) return false;
      rook = makeSquare(backRank, file);
      if (!ownRook(rook, colour)) return false;
    } else {
      return false;
    }
    // A rook beyond the slot plan is invisible to the piece lists that castling moves it in.
    if (rook == NoSquare || p_.listSlot[rook] == NoSlot) return false;
    // Standard chess castles only from the home squares.
    const bool home = king == (colour == White ? E1 : E8) &&
                      fileOf(rook) == (code % 2 == 0 ? 7 : 0);
    if (!chess960_ && !home) return false;
    p_.castlingRights |= uint8_t(1 << code);
    key() ^= zobrist.castling[code];
    rooks_[code] = uint8_t(rook);
    return true;
  }

  bool ownRook(int square, int colour) const {
    return p_.pieceType[square] == Rook && p_.colour[square] == colour;
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
  const bool chess960_;
  uint8_t rooks_[4] = {H1, A1, H8, A8};
  size_t i_ = 0;
};

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

bool setFromFen(Position& pos, std::string_view text, bool chess960) {
  if (!FenReader(pos, text, chess960).read()) return false;
  if (!playable(pos)) return false;
  pos.perftKeys[pos.perftKeyIndex] = pos.key();
  return true;
}

namespace {

// The castling letter of a right: K, Q, k or q when its rook is the outermost of its colour on
// its side of the king, the rook's file letter otherwise.
char castlingLetter(const Position& p, int code) {
  const int colour = code / 2, rook = p.castling.rookSquare[code];
  const int edge = code % 2 == 0 ? rook - fileOf(rook) + 7 : rook - fileOf(rook);
  const int step = code % 2 == 0 ? 1 : -1;
  bool outermost = true;
  for (int s = rook + step; outermost && s - step != edge; s += step)
    outermost = !(p.pieceType[s] == Rook && p.colour[s] == colour);
  const char letter = outermost ? (code % 2 == 0 ? 'k' : 'q') : char('a' + fileOf(rook));
  return colour == White ? char(letter - 'a' + 'A') : letter;
}

}  // namespace

std::string fenText(const Position& pos, int moveNumber) {
  std::string text;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const int s = makeSquare(rank, file);
      if (pos.pieceType[s] == NoPiece) {
        ++empty;
        continue;
      }
      if (empty) text += char('0' + empty);
      empty = 0;
      const char c = pieceLetters[pos.pieceType[s]];
      text += pos.colour[s] == White ? char(c - 'a' + 'A') : c;
    }
    if (empty) text += char('0' + empty);
    if (rank) text += '/';
  }
  text += pos.sideToMove == Black ? " b " : " w ";
  const size_t rightsAt = text.size();
  for (int code = 0; code < 4; ++code)
    if (pos.castlingRights & (1 << code)) text += castlingLetter(pos, code);
  if (text.size() == rightsAt) text += '-';
  text += ' ';
  if (pos.epSquare == NoSquare) {
    text += '-';
  } else {
    text += char('a' + fileOf(pos.epSquare));
    text += char('1' + rankOf(pos.epSquare));
  }
  text += ' ' + std::to_string(pos.halfmoveClock) + ' ' + std::to_string(moveNumber);
  return text;
}

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

}  // namespace varnu
