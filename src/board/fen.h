// Reading positions from FEN text, and the text of a position: its FEN and its board.
#pragma once

#include <string>
#include <string_view>

#include "board/position.h"

namespace varnu {

inline constexpr std::string_view StartFen =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// Sets the position from FEN text read strictly left to right. Returns false for a text the
// reader refuses; the position then holds whatever was set up before the refusal. Besides the
// syntax, a position must have a king of each colour, no pawn on the first or last rank, and the
// side not to move must not be in check. The castling field is read in X-FEN and in
// Shredder-FEN; a right whose king or rook is not where castling needs it fails the text, and
// outside Chess960 (chess960 false) that is the home squares of standard chess.
bool setFromFen(Position& pos, std::string_view text, bool chess960 = false);

// The position as FEN text with the move number given. Rights are written KQkq where their rook
// is the outermost on its side, and by the rook's file letter where it is not (X-FEN).
std::string fenText(const Position& pos, int moveNumber);

// The board as eight lines of piece letters (white upper case, '.' for an empty square), rank 8
// first, each after the prefix and ended by a line feed.
std::string boardText(const Position& pos, std::string_view prefix);

}  // namespace varnu
