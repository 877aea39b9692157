// The line a report shows: the search's own moves, then the table's, cut where the game would
// end, and for a mate score carried on to the mate.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "search/searcher.h"
#include "search/transposition_table.h"

namespace varnu {

// The most nodes the mate search that finishes one line may visit: a few milliseconds.
inline constexpr uint64_t MateLineNodes = 60000;

// The line of a report from the root, which carries the game's history before it: its own moves
// while each is legal, then the table's move in each position reached, while that move is legal
// there and brings back no position of the line or of the game since its last irreversible move.
// The line ends after a move that reaches a position where the game ends or the search scores a
// draw: checkmate, stalemate, the fifty-move rule (a mate by the hundredth ply still counts as
// mate), a repetition, or bare material. With a mate score (score beyond MateThreshold either
// way), a line that stops short of the mate is finished by a small mate search from as near its
// end as it can (at most MateLineNodes nodes, the table only probed), so that it ends with the
// mating move when that search succeeds.
PVLine completeLine(const Position& root, const PVLine& line, const TranspositionTable& table,
                    int score = 0);

// True when the line from the root ends in checkmate after exactly the plies of the mate score
// (beyond MateThreshold either way): what a referee that checks mate lines asks of one.
bool reachesMate(const Position& root, const PVLine& line, int score);

}  // namespace varnu
