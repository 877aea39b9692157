// The page where a person plays Varnu. The engine runs in a Web Worker built
// from the C++ sources with Emscripten and speaks plain UCI, one line per
// message each way. chess.js keeps the game's rules and cm-chessboard draws
// the board and takes the player's moves.

import { Chessboard, COLOR, FEN, INPUT_EVENT_TYPE } from './node_modules/cm-chessboard/src/Chessboard.js'
import { Markers } from './node_modules/cm-chessboard/src/extensions/markers/Markers.js'
import {
  PromotionDialog,
  PROMOTION_DIALOG_RESULT_TYPE,
} from './node_modules/cm-chessboard/src/extensions/promotion-dialog/PromotionDialog.js'
import { Chess } from './node_modules/chess.js/dist/esm/chess.js'

import { UciEngine, parseInfo } from './uci_engine.js'
import { playUci, lineInSan, scoreText } from './chess_text.js'
import { engineUrl, engineThreads, installServiceWorker } from './engine_loader.js'

const HASH_MB = 32 // keeps the worker's memory small; the engine's default table is larger

const sideName = (color) => (color === 'w' ? 'White' : 'Black')

const el = {
  board: document.getElementById('board'),
  newGame: document.getElementById('new-game'),
  color: document.getElementById('color'),
  movetime: document.getElementById('movetime'),
  analyse: document.getElementById('analyse'),
  status: document.getElementById('status'),
  score: document.getElementById('analysis-score'),
  depth: document.getElementById('analysis-depth'),
  line: document.getElementById('analysis-line'),
  moves: document.getElementById('moves'),
}

const LAST_MOVE = { class: 'marker-last-move', slice: 'markerSquare' }

const game = new Chess()
const state = {
  player: 'w', // the side the person plays
  ready: false, // the engine has answered readyok
  newGame: true, // ucinewgame is due before the next search
  promoting: false, // the promotion dialog is open
  generation: 0, // counts refreshes, so that only the latest one acts on a bestmove
}

const board = new Chessboard(el.board, {
  position: FEN.start,
  assetsUrl: './node_modules/cm-chessboard/assets/',
  style: { cssClass: 'default', showCoordinates: true, animationDuration: 200 },
  extensions: [{ class: Markers }, { class: PromotionDialog }],
})

await installServiceWorker()
const engine = new UciEngine(engineUrl(), (error) => {
  document.body.dataset.engine = 'error'
  el.status.textContent = `The engine failed: ${error.message}`
})

function setStatus(text) {
  el.status.textContent = text
}

// The result when the game is over, otherwise null.
function gameResult() {
  if (game.isCheckmate()) return `Checkmate: ${sideName(game.turn() === 'w' ? 'b' : 'w')} wins`
  if (game.isStalemate()) return 'Stalemate: draw'
  if (game.isInsufficientMaterial()) return 'Draw by insufficient material'
  if (game.isThreefoldRepetition()) return 'Draw by threefold repetition'
  if (game.isDrawByFiftyMoves()) return 'Draw by the fifty-move rule'
  return null
}

function clearAnalysis() {
  el.score.textContent = '–'
  el.depth.textContent = ''
  el.line.textContent = ''
}

function showInfo(line, fen) {
  const info = parseInfo(line)
  // Bound lines are the search's passing guesses; multipv > 1 lines are not the main line.
  if (!info.score || !info.pv || info.bound || (info.multipv && info.multipv !== 1)) return
  el.score.textContent = scoreText(info.score, fen.split(' ')[1] === 'w')
  el.depth.textContent = `depth ${info.depth}`
  el.line.textContent = lineInSan(fen, info.pv)
}

function showMoves() {
  el.moves.replaceChildren()
  const history = game.history()
  for (let i = 0; i < history.length; i += 2) {
    const item = document.createElement('li')
    for (const san of history.slice(i, i + 2)) {
      const ply = document.createElement('span')
      ply.textContent = san
      item.append(ply)
    }
    el.moves.append(item)
  }
  el.moves.scrollTop = el.moves.scrollHeight
}

function showLastMove() {
  board.removeMarkers(LAST_MOVE)
  const [last] = game.history({ verbose: true }).slice(-1)
  if (last) {
    board.addMarker(LAST_MOVE, last.from)
    board.addMarker(LAST_MOVE, last.to)
  }
}

// Called after every change of the game: redraws it and lets the engine act.
function gameChanged() {
  board.setPosition(game.fen(), true)
  showLastMove()
  showMoves()
  refresh()
}

// Brings the engine in line with the page: stops whatever it runs, then
// searches for its own move on its turn, analyses the player's turn when
// Analyse is on, or rests.
async function refresh() {
  const generation = ++state.generation
  await engine.stop()
  if (generation !== state.generation || !state.ready) return

  if (state.newGame) {
    state.newGame = false
    engine.send('ucinewgame')
    await engine.ready()
    if (generation !== state.generation) return
  }

  const result = gameResult()
  if (result) {
    document.body.dataset.search = 'idle'
    setStatus(result)
    return
  }

  const moves = game.history({ verbose: true }).map((move) => move.lan)
  const fen = game.fen()
  const onInfo = (line) => showInfo(line, fen)
  const check = game.inCheck() ? ', in check' : ''
  clearAnalysis()

  if (game.turn() !== state.player) {
    document.body.dataset.search = 'move'
    setStatus(`Varnu is thinking (${sideName(game.turn())}${check})…`)
    const reply = await engine.go({ fen: 'startpos', moves }, `go movetime ${el.movetime.value}`, onInfo)
    if (reply.stopped || generation !== state.generation) return
    document.body.dataset.search = 'idle'
    if (!playUci(game, reply.move)) {
      setStatus(`Varnu answered a move that is not legal here: ${reply.move}`)
      return
    }
    gameChanged()
  } else if (el.analyse.checked) {
    document.body.dataset.search = 'analysis'
    setStatus(`Your move (${sideName(game.turn())}${check}); Varnu is analysing`)
    // An analysis ends only by the stop of the refresh that follows it.
    await engine.go({ fen: 'startpos', moves }, 'go infinite', onInfo)
    if (generation === state.generation) document.body.dataset.search = 'idle'
  } else {
    document.body.dataset.search = 'idle'
    setStatus(`Your move (${sideName(game.turn())}${check})`)
  }
}

function playerMove(from, to, promotion) {
  try {
    game.move({ from, to, promotion })
  } catch {
    board.setPosition(game.fen(), true)
    return
  }
  gameChanged()
}

function onMoveInput(event) {
  switch (event.type) {
    case INPUT_EVENT_TYPE.moveInputStarted:
      return (
        state.ready &&
        !state.promoting &&
        game.turn() === state.player &&
        !game.isGameOver() &&
        game.moves({ square: event.squareFrom }).length > 0
      )
    case INPUT_EVENT_TYPE.validateMoveInput: {
      const { squareFrom: from, squareTo: to } = event
      const candidates = game.moves({ square: from, verbose: true }).filter((move) => move.to === to)
      if (candidates.length === 0) return false
      if (candidates[0].isPromotion()) {
        state.promoting = true
        board.showPromotionDialog(to, game.turn(), (result) => {
          state.promoting = false
          if (result.type === PROMOTION_DIALOG_RESULT_TYPE.pieceSelected) playerMove(from, to, result.piece.charAt(1))
          else board.setPosition(game.fen(), true)
        })
        return true
      }
      // The board moves the piece itself once this returns; gameChanged redraws
      // from the game afterwards, which also shows castling's rook and en passant.
      queueMicrotask(() => playerMove(from, to))
      return true
    }
  }
  return undefined
}

el.newGame.addEventListener('click', () => {
  board.cancelMoveInput()
  game.reset()
  state.newGame = true
  gameChanged()
})

el.color.addEventListener('change', () => {
  state.player = el.color.value
  board.setOrientation(state.player === 'w' ? COLOR.white : COLOR.black, true)
  refresh()
})

el.analyse.addEventListener('change', () => {
  // On the engine's own turn it is searching already; the toggle matters on the player's.
  if (game.turn() === state.player) refresh()
})

board.enableMoveInput(onMoveInput)

// For the browser test and for a look from the developer tools.
window.varnuPage = { game, board, engine, state, log: engine.log }

try {
  engine.send('uci')
  await engine.waitFor((line) => line === 'uciok')
  engine.setOption('Hash', HASH_MB)
  if (engineThreads() > 1) engine.setOption('Threads', engineThreads())
  await engine.ready()
  state.ready = true
  document.body.dataset.engine = 'ready'
  refresh()
} catch (error) {
  console.error('Varnu could not start:', error)
}
