#!/usr/bin/env python3
"""The win/draw/loss model behind UCI_ShowWDL: from games the referee kept, fit and check it.

  wdl_model.py extract GAMES_DIR... > samples.csv
      Every move Varnu made in the games (the referee's --keep-logs transcripts, game-N.log, with
      the referee's own report games.txt beside them): the game's ply, the score of Varnu's last
      thinking line before the move (centipawns, side to move), and how the game ended for that
      side (1 win, 0 draw, -1 loss). Mate scores are left out: they need no model.
  wdl_model.py fit samples.csv
      Fits the model on the games whose number is not a multiple of 3 and prints its constants.
  wdl_model.py check samples.csv A0 A1 B0 B1
      Compares the model's expected wins, draws and losses with those observed, by score bucket,
      on the games whose number is a multiple of 3 (which the fit did not use).

The model: with x = min(ply, 160) / 160 (how far the game has gone),
  a = A0 + A1 * x,  b = B0 + B1 * x,
  win = 1 / (1 + exp(-(score - a) / b)),  loss = 1 / (1 + exp(-(-score - a) / b)),
  draw = 1 - win - loss.
a is the score at which a win is as likely as not, b how fast the odds change with the score;
both may move as the game goes on and the material comes off.
"""
import csv
import math
import os
import re
import sys

MATE = 20000
PLY_SCALE = 160


def extract(dirs):
    out = csv.writer(sys.stdout)
    out.writerow(["set", "game", "ply", "score", "result"])
    head = re.compile(r"game (\d+): (.+?) \((white|black)\) - (.+?) \((white|black)\), .*?: "
                      r"(1-0|0-1|1/2-1/2) \{(.*)\}")
    for folder in dirs:
        name = os.path.basename(os.path.normpath(folder))
        results = {}
        with open(os.path.join(folder, "games.txt")) as report:
            for line in report:
                m = head.match(line)
                if not m:
                    continue
                # Only games the play decided: not an illegal move, a forfeit, a crash or a hang.
                if re.search(r"illegal|time|crash|hang|protocol|false", m.group(7), re.I):
                    continue
                game, first_colour = int(m.group(1)), m.group(3)
                # The first engine (Varnu #1) plays the colour named first when it is named first.
                first_is_white = ("#1" in m.group(2)) == (first_colour == "white")
                white = {"1-0": 1, "0-1": -1, "1/2-1/2": 0}[m.group(6)]
                results[game] = (first_is_white, white)
        both = name == "self"  # in self-play both engines are Varnu
        for game, (first_is_white, white) in sorted(results.items()):
            path = os.path.join(folder, "game-%d.log" % game)
            if not os.path.exists(path):
                continue
            ply = 0
            last = {1: None, 2: None}
            with open(path, errors="replace") as log:
                for line in log:
                    m = re.match(r"\s*\d+ ([12])([<>]) (.*)$", line.rstrip("\n"))
                    if not m:
                        continue
                    engine, direction, text = int(m.group(1)), m.group(2), m.group(3)
                    if engine == 1 and direction == "<" and text.startswith("usermove "):
                        ply += 1
                    if direction != ">":
                        continue
                    t = re.match(r"(\d+) (-?\d+) \d+ \d+ ", text)
                    if t:
                        last[engine] = int(t.group(2))
                        continue
                    if text.startswith("move "):
                        # The ply of the move: engine 1's count of the moves so far, to which
                        # the second engine's move is added only when it is sent on to engine 1.
                        if engine == 1:
                            ply += 1
                        move_ply = ply if engine == 1 else ply + 1
                        if (engine == 1 or both) and last[engine] is not None:
                            score = last[engine]
                            is_white = first_is_white if engine == 1 else not first_is_white
                            result = white if is_white else -white
                            if abs(score) < MATE:
                                out.writerow([name, game, move_ply, score, result])
                        last[engine] = None


def model(a0, a1, b0, b1, ply, score):
    x = min(ply, PLY_SCALE) / PLY_SCALE
    a, b = a0 + a1 * x, max(b0 + b1 * x, 1.0)
    win = 1 / (1 + math.exp(max(min(-(score - a) / b, 60), -60)))
    loss = 1 / (1 + math.exp(max(min(-(-score - a) / b, 60), -60)))
    return win, max(1 - win - loss, 0.0), loss


def samples(path, fitting):
    rows = []
    with open(path) as f:
        for r in csv.DictReader(f):
            game = int(r["game"])
            if (game % 3 != 0) == fitting:
                rows.append((int(r["ply"]), max(-1500, min(1500, int(r["score"]))),
                             int(r["result"])))
    # Identical samples are counted once with a weight, which makes the fit fast.
    counts = {}
    for row in rows:
        counts[row] = counts.get(row, 0) + 1
    return counts


def log_likelihood(params, counts):
    total = 0.0
    for (ply, score, result), n in counts.items():
        p = model(*params, ply, score)[1 - result]
        total += n * math.log(max(p, 1e-9))
    return total


def fit(path):
    counts = samples(path, True)
    params = [200.0, 0.0, 100.0, 0.0]
    steps = [50.0, 50.0, 25.0, 25.0]
    best = log_likelihood(params, counts)
    # Pattern search: each constant in turn, halving its step when neither way helps.
    while max(steps) > 0.05:
        for i in range(4):
            improved = False
            for sign in (1, -1):
                trial = list(params)
                trial[i] += sign * steps[i]
                value = log_likelihood(trial, counts)
                if value > best:
                    params, best, improved = trial, value, True
                    break
            if not improved:
                steps[i] /= 2
    n = sum(counts.values())
    print("samples %d, mean log-likelihood %.4f" % (n, best / n))
    print("A0 %.1f A1 %.1f B0 %.1f B1 %.1f" % tuple(params))


def check(path, a0, a1, b0, b1):
    counts = samples(path, False)
    buckets = {}
    for (ply, score, result), n in counts.items():
        key = max(-600, min(600, int(math.floor(score / 100.0)) * 100))
        e = model(a0, a1, b0, b1, ply, score)
        b = buckets.setdefault(key, [0, [0.0, 0.0, 0.0], [0, 0, 0]])
        b[0] += n
        for i in range(3):
            b[1][i] += n * e[i]
        b[2][1 - result] += n
    print("| score (cp) | moves | expected W/D/L | observed W/D/L |")
    print("|---|---|---|---|")
    for key in sorted(buckets):
        n, e, o = buckets[key]
        label = ("%d and below" % (key + 99) if key == -600 else
                 "%d and above" % key if key == 600 else "%d to %d" % (key, key + 99))
        print("| %s | %d | %.0f/%.0f/%.0f | %d/%d/%d |" % (label, n, *e, *o))


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "extract":
        extract(sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "fit":
        fit(sys.argv[2])
    elif len(sys.argv) == 7 and sys.argv[1] == "check":
        check(sys.argv[2], *map(float, sys.argv[3:]))
    else:
        sys.exit(__doc__)
