// Moves and scores as the page writes them, shared by the play page and the review.

import { Chess } from './node_modules/chess.js/dist/esm/chess.js'

// Plays a move given in UCI's notation (e2e4, e7e8q); null when it is not legal.
export function playUci(chess, uci) {
  if (!/^[a-h][1-8][a-h][1-8][qrbn]?$/.test(uci ?? '')) return null
  try {
    return chess.move({ from: uci.slice(0, 2), to: uci.slice(2, 4), promotion: uci[4] })
  } catch {
    return null
  }
}

// The engine's line in SAN with move numbers, played out on a copy of the position.
export function lineInSan(fen, pv) {
  const chess = new Chess(fen)
  let number = Number(fen.split(' ')[5])
  const parts = []
  for (const uci of pv) {
    const move = playUci(chess, uci)
    if (!move) break
    if (move.color === 'w') parts.push(`${number}. ${move.san}`)
    else parts.push(parts.length ? move.san : `${number}… ${move.san}`)
    if (move.color === 'b') number++
  }
  return parts.join(' ')
}

// The engine scores from the side to move; the page shows White's view.
export function scoreText(score, whiteToMove) {
  if (score.kind === 'mate') {
    const winner = score.value > 0 === whiteToMove ? 'White' : 'Black'
    return `${winner} mates in ${Math.abs(score.value)}`
  }
  const pawns = ((whiteToMove ? 1 : -1) * score.value) / 100
  return (pawns > 0 ? '+' : pawns < 0 ? '-' : '') + Math.abs(pawns).toFixed(2)
}
