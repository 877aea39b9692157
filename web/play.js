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

const ENGINE_URL = 'engine/varnu.js'
const HASH_MB = 32 // keeps the worker's memory small; the engine's default table is larger
const LOG_LIMIT = 5000

// One UCI engine in a worker. Each line from the engine goes to the running
// search, if any, and to whoever waits for a line of that kind.
class UciEngine {
  constructor(url, onError) {
    this.worker = new Worker(url)
    this.log = [] // the lines received, newest last
    this.sent = [] // the commands sent, newest last
    this.waiters = []
    this.search = null // the search whose bestmove is still to come
    this.worker.onmessage = (event) => this.receive(String(event.data))
    this.failed = new Promise((resolve, reject) => {
      this.worker.onerror = (event) => {
        const error = new Error(event.message || 'the engine worker stopped')
        onError(error)
        reject(error)
      }
    })
    this.failed.catch(() => {}) // reported through onError; waitFor rethrows it
  }

  send(command) {
    this.sent.push(command)
    if (this.sent.length > LOG_LIMIT) this.sent.splice(0, this.sent.length - LOG_LIMIT)
    this.worker.postMessage(command)
  }

  receive(line) {
    this.log.push(line)
    if (this.log.length > LOG_LIMIT) this.log.splice(0, this.log.length - LOG_LIMIT)

    const search = this.search
    if (search) {
      if (line.startsWith('info ')) {
        // Once stop is sent, the search's last lines are about a position the page has left.
        if (!search.stopping) search.onInfo(line)
      } else if (line.startsWith('bestmove')) {
        this.search = null
        search.resolve({ move: line.split(/\s+/)[1], stopped: search.stopping })
      }
    }

    this.waiters = this.waiters.filter((waiter) => {
      if (!waiter.test(line)) return true
      waiter.resolve(line)
      return false
    })
  }

  // Resolves with the first line from now on that passes the test.
  waitFor(test) {
    const line = new Promise((resolve) => this.waiters.push({ test, resolve }))
    return Promise.race([line, this.failed])
  }

  async start() {
    this.send('uci')
    await this.waitFor((line) => line === 'uciok')
    this.send(`setoption name Hash value ${HASH_MB}`)
    await this.ready()
  }

  async ready() {
    this.send('isready')
    await this.waitFor((line) => line === 'readyok')
  }

  // Searches the position after the given moves from the start. Resolves with
  // the bestmove, marked as stopped when stop() cut the search short.
  go(moves, goCommand, onInfo) {
    if (this.search) throw new Error('the engine is still searching')
    let resolve
    const done = new Promise((r) => (resolve = r))
    this.search = { onInfo, resolve, done, stopping: false }
    this.send(moves.length ? `position startpos moves ${moves.join(' ')}` : 'position startpos')
    this.send(goCommand)
    return done
  }

  // Ends the running search; resolves once its bestmove has arrived, so the
  // next go cannot be answered by the old search's move.
  stop() {
    const search = this.search
    if (!search) return Promise.resolve()
    if (!search.stopping) {
      search.stopping = true
      this.send('stop')
    }
    return search.done
  }
}

// Reads the fields of an info line that the page shows.
function parseInfo(line) {
  const words = line.trim().split(/\s+/)
  const info = {}
  for (let i = 1; i < words.length; i++) {
    const word = words[i]
    if (word === 'score') {
      info.score = { kind: words[i + 1], value: Number(words[i + 2]) }
      i += 2
    } else if (word === 'lowerbound' || word === 'upperbound') {
      info.bound = word
    } else if (word === 'wdl') {
      i += 3
    } else if (word === 'pv') {
      info.pv = words.slice(i + 1)
      break
    } else if (word === 'string') {
      break
    } else {
      info[word] = words[++i]
    }
  }
  return info
}

// Plays a move given in UCI's notation (e2e4, e7e8q); null when it is not legal.
function playUci(chess, text) {
  if (!/^[a-h][1-8][a-h][1-8][qrbn]?$/.test(text ?? '')) return null
  try {
    return chess.move({ from: text.slice(0, 2), to: text.slice(2, 4), promotion: text[4] })
  } catch {
    return null
  }
}

// The engine's line in SAN with move numbers, played out on a copy of the position.
function lineInSan(fen, pv) {
  const chess = new Chess(fen)
  let number = Number(fen.split(' ')[5])
  const parts = []
  for (const text of pv) {
    const move = playUci(chess, text)
    if (!move) break
    if (move.color === 'w') parts.push(`${number}. ${move.san}`)
    else parts.push(parts.length ? move.san : `${number}… ${move.san}`)
    if (move.color === 'b') number++
  }
  return parts.join(' ')
}

// The engine scores from the side to move; the page shows White's view.
function scoreText(score, whiteToMove) {
  if (score.kind === 'mate') {
    const winner = score.value > 0 === whiteToMove ? 'White' : 'Black'
    return `${winner} mates in ${Math.abs(score.value)}`
  }
  const pawns = ((whiteToMove ? 1 : -1) * score.value) / 100
  return (pawns > 0 ? '+' : pawns < 0 ? '-' : '') + Math.abs(pawns).toFixed(2)
}

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

const engine = new UciEngine(ENGINE_URL, (error) => {
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
  if (!info.score || !info.pv || info.bound || (info.multipv && info.multipv !== '1')) return
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
    const reply = await engine.go(moves, `go movetime ${el.movetime.value}`, onInfo)
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
    await engine.go(moves, 'go infinite', onInfo)
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
  await engine.start()
  state.ready = true
  document.body.dataset.engine = 'ready'
  refresh()
} catch (error) {
  console.error('Varnu could not start:', error)
}
