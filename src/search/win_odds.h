// The chances of a win, a draw and a loss that a search score stands for, as analysis GUIs show
// them beside the score. The model was fitted to games Varnu played (tests/tools/wdl_model.py):
// a win is as likely as not at a score that grows as the game goes on, and the odds turn faster
// or slower around it.
#pragma once

namespace varnu {

// Per mille, from the side to move's point of view; the three always sum to 1000.
struct WinOdds {
  int win = 0;
  int draw = 1000;
  int loss = 0;
};

// The odds of a score (centipawns, or a mate or tablebase score) at a game's ply.
WinOdds winOdds(int score, int ply);

}  // namespace varnu
