// The page where a person plays Varnu. The engine runs in a Web Worker built
// from the C++ sources with Emscripten and speaks plain UCI, one line per
// message each way. chess.js keeps the game's rules and cm-chessboard draws
// the board and takes the player's moves.
//
// The game is a record (its start and its moves) and the ply the board shows.
// The engine plays its move only when the board shows the end of the game; an
// older position can be looked at, analysed, or played from, which cuts the
// game off there.

import { Chessboard, COLOR, FEN, INPUT_EVENT_TYPE } from './node_modules/cm-chessboard/src/Chessboard.js'
import { Markers } from './node_modules/cm-chessboard/src/extensions/markers/Markers.js'
import { Arrows, ARROW_TYPE } from './node_modules/cm-chessboard/src/extensions/arrows/Arrows.js'
import {
  PromotionDialog,
  PROMOTION_DIALOG_RESULT_TYPE,
} from './node_modules/cm-chessboard/src/extensions/promotion-dialog/PromotionDialog.js'
import { Chess, validateFen } from './node_modules/chess.js/dist/esm/chess.js'

import { UciEngine, parseInfo } from './uci_engine.js'
import { playUci, lineInSan, scoreText } from './chess_text.js'
import { SINGLE_URL, engineUrl, engineThreads, installServiceWorker } from './engine_loader.js'

const HASH_MB = 32 // keeps the worker's memory small; the engine's default table is larger
const ELO_STEP = 100 // the level menu's steps on the engine's UCI_Elo scale
const TICK_MS = 100
const START_FEN = new Chess().fen()
const ROSTER = ['Event', 'Site', 'Date', 'Round', 'White', 'Black', 'Result']
const MARK = {
  inaccuracy: { symbol: '?!', nag: '$6' },
  mistake: { symbol: '?', nag: '$2' },
  blunder: { symbol: '??', nag: '$4' },
}

const sideName = (color) => (color === 'w' ? 'White' : 'Black')
const other = (color) => (color === 'w' ? 'b' : 'w')
const fenTurn = (fen) => fen.split(' ')[1]

const el = Object.fromEntries(
  [
    'board', 'new-game', 'color', 'level', 'clock', 'movetime', 'movetime-label', 'analyse', 'multipv',
    'status', 'analysis-score', 'analysis-depth', 'analysis-lines', 'wdl', 'eval-bar', 'eval-white',
    'moves', 'clock-top', 'clock-bottom', 'walk-first', 'walk-back', 'walk-forward', 'walk-last',
    'takeback', 'flip', 'pgn-copy', 'pgn-download', 'game-text', 'game-load', 'game-message',
  ].map((id) => [id.replace(/-(\w)/g, (_, letter) => letter.toUpperCase()), document.getElementById(id)]),
)

const LAST_MOVE = { class: 'marker-last-move', slice: 'markerSquare' }
const BEST_MOVE = ARROW_TYPE.info

// The game from its start; each move keeps the position after it.
const record = { startFen: START_FEN, moves: [] }
let game = new Chess() // the position shown, played from the start so that repetitions count
const state = {
  player: 'w', // the side the person plays
  ply: 0, // the plies the board shows
  result: null, // { score: '1-0' | '0-1' | '1/2-1/2', reason, onTime } once the game is over
  headers: null, // a loaded PGN's tags, which its export keeps
  date: new Date(),
  ready: false, // the engine has answered readyok
  newGame: true, // ucinewgame is due before the next search
  promoting: false, // the promotion dialog is open
  acquired: 0, // the review holds the engine while above 0
  generation: 0, // counts refreshes, so that only the latest one acts on a bestmove
  options: {}, // the values last sent with setoption, so that only changes are sent
  clock: null, // { base, inc } in milliseconds, or null for no clock
  time: { w: 0, b: 0 }, // each side's time left in milliseconds
  lastTick: 0,
  lines: [], // the analysis' lines by multipv - 1: { score, san, depth }
  share: null, // White's expected share of the points, for the bar
  orientation: 'w', // the side at the bottom of the board
}
const positionListeners = []

const board = new Chessboard(el.board, {
  position: FEN.start,
  assetsUrl: './node_modules/cm-chessboard/assets/',
  style: { cssClass: 'default', showCoordinates: true, animationDuration: 200 },
  extensions: [{ class: Markers }, { class: Arrows }, { class: PromotionDialog }],
})

try {
  await installServiceWorker()
} catch (error) {
  console.warn('Varnu works without its service worker:', error)
}

const engine = new UciEngine(
  engineUrl(),
  (error) => {
    document.body.dataset.engine = 'error'
    el.status.textContent = `The engine failed: ${error.message}`
  },
  SINGLE_URL,
)

// Resolves once the engine has answered the handshake and taken the page's settings.
let engineStarted
const engineReady = new Promise((resolve) => (engineStarted = resolve))

function setStatus(text) {
  el.status.textContent = text
}

const live = () => state.ply === record.moves.length
const fenAt = (ply) => (ply === 0 ? record.startFen : record.moves[ply - 1].fen)
const liveTurn = () => fenTurn(fenAt(record.moves.length))

// The position after the first plies of the game, with its history.
function positionAt(ply) {
  const chess = new Chess(record.startFen)
  for (const move of record.moves.slice(0, ply)) playUci(chess, move.lan)
  return chess
}

// Whether the side has the pieces to mate at all: a lone king or a king and
// one minor piece cannot, so their opponent's flag fall is a draw.
function canMate(chess, color) {
  const pieces = chess.board().flat().filter((square) => square && square.color === color && square.type !== 'k')
  return pieces.some((piece) => 'pqr'.includes(piece.type)) || pieces.length > 1
}

// How the game stands by the rules in the position, or null while it goes on.
function ruleResult(chess) {
  if (chess.isCheckmate()) {
    const winner = other(chess.turn())
    return { score: winner === 'w' ? '1-0' : '0-1', reason: `Checkmate: ${sideName(winner)} wins` }
  }
  const draw = (reason) => ({ score: '1/2-1/2', reason })
  if (chess.isStalemate()) return draw('Stalemate: draw')
  if (chess.isInsufficientMaterial()) return draw('Draw by insufficient material')
  if (chess.isThreefoldRepetition()) return draw('Draw by threefold repetition')
  if (chess.isDrawByFiftyMoves()) return draw('Draw by the fifty-move rule')
  return null
}

// The level as the review and the PGN see it.
function level() {
  return el.level.value === 'full' ? { full: true } : { elo: Number(el.level.value) }
}

const engineName = () => (el.level.value === 'full' ? 'Varnu' : `Varnu (Elo ${el.level.value})`)

// Sends the options whose values differ from those the engine has.
function applyOptions(options) {
  for (const [name, value] of Object.entries(options)) {
    if (state.options[name] === value) continue
    state.options[name] = value
    engine.setOption(name, value)
  }
}

function levelOptions() {
  const chosen = level()
  return chosen.full ? { UCI_LimitStrength: false } : { UCI_Elo: chosen.elo, UCI_LimitStrength: true }
}

// Fills the level menu from the range the engine gives for UCI_Elo; its top is full strength.
function offerLevels(log) {
  const line = log.find((text) => /^option name UCI_Elo /.test(text))
  const range = line?.match(/ min (\d+) max (\d+)/)
  if (!range) return
  const [min, max] = [Number(range[1]), Number(range[2])]
  for (let elo = max - ELO_STEP; elo >= min; elo -= ELO_STEP) el.level.add(new Option(`Elo ${elo}`, String(elo)))
}

// ---- clocks

const clockRuns = () => state.clock && !state.result && record.moves.length > 0

// Takes the time since the last charge off the clock of the side to move at the game's end.
function chargeClock() {
  const now = performance.now()
  if (clockRuns()) state.time[liveTurn()] -= now - state.lastTick
  state.lastTick = now
}

function clockText(ms) {
  const left = Math.max(0, ms)
  if (left < 10000) return (Math.floor(left / 100) / 10).toFixed(1)
  const seconds = Math.ceil(left / 1000)
  const minutes = Math.floor(seconds / 60)
  return `${minutes}:${String(seconds % 60).padStart(2, '0')}`
}

function showClocks() {
  const bottom = state.orientation
  for (const [box, color] of [
    [el.clockBottom, bottom],
    [el.clockTop, other(bottom)],
  ]) {
    box.hidden = !state.clock
    if (!state.clock) continue
    const who = color === state.player ? 'You' : engineName()
    box.replaceChildren()
    const name = document.createElement('span')
    name.textContent = `${who}, ${sideName(color)}`
    const time = document.createElement('span')
    time.className = 'clock-time'
    time.textContent = clockText(state.time[color])
    box.append(name, time)
    box.classList.toggle('running', Boolean(clockRuns()) && liveTurn() === color)
    box.classList.toggle('low', state.time[color] < 10000)
  }
}

function setClock(text) {
  const [minutes, seconds] = text.split('+').map(Number)
  state.clock = text ? { base: minutes * 60000, inc: seconds * 1000 } : null
  state.time = { w: state.clock?.base ?? 0, b: state.clock?.base ?? 0 }
  state.lastTick = performance.now()
  el.movetimeLabel.hidden = Boolean(state.clock)
  showClocks()
}

function tick() {
  if (!state.clock) return
  chargeClock()
  const turn = liveTurn()
  if (clockRuns() && state.time[turn] <= 0) {
    const winner = other(turn)
    const chess = new Chess(fenAt(record.moves.length))
    state.result = canMate(chess, winner)
      ? { score: winner === 'w' ? '1-0' : '0-1', reason: `Time: ${sideName(turn)} lost on time`, onTime: true }
      : { score: '1/2-1/2', reason: `Time: ${sideName(turn)}'s flag fell, but ${sideName(winner)} cannot mate: draw`, onTime: true }
    showPosition(false)
  }
  showClocks()
}

// ---- analysis

function clearAnalysis() {
  state.lines = []
  state.share = null
  el.analysisScore.textContent = '–'
  el.analysisDepth.textContent = ''
  el.wdl.textContent = ''
  el.analysisLines.replaceChildren()
  board.removeArrows()
  showEvalBar()
}

function showEvalBar() {
  el.evalBar.classList.toggle('flipped', state.orientation === COLOR.black)
  el.evalBar.classList.toggle('unknown', state.share === null)
  el.evalWhite.style.height = `${(state.share ?? 0.5) * 100}%`
}

// White's expected share of the points: from the odds when the engine gives them, else from the score.
function whiteShare(info, whiteToMove) {
  let share
  if (info.wdl) share = (info.wdl[0] + info.wdl[1] / 2) / 1000
  else if (info.score.kind === 'mate') share = info.score.value > 0 ? 1 : 0
  else share = 1 / (1 + 10 ** (-info.score.value / 400))
  return whiteToMove ? share : 1 - share
}

function showInfo(line, fen, withArrow) {
  const info = parseInfo(line)
  // Bound lines are the search's passing guesses.
  if (!info.score || !info.pv || info.bound) return
  const index = (info.multipv ?? 1) - 1
  const whiteToMove = fenTurn(fen) === 'w'
  state.lines[index] = { score: scoreText(info.score, whiteToMove), san: lineInSan(fen, info.pv), depth: info.depth }
  state.lines.length = Math.min(state.lines.length, Number(el.multipv.value))

  el.analysisLines.replaceChildren(
    ...Array.from(state.lines, (entry) => {
      const item = document.createElement('li')
      const score = document.createElement('span')
      score.className = 'line-score'
      score.textContent = entry?.score ?? ''
      const san = document.createElement('span')
      san.className = 'line-san'
      san.textContent = entry?.san ?? ''
      item.append(score, ' ', san)
      return item
    }),
  )
  if (index !== 0) return

  el.analysisScore.textContent = state.lines[0].score
  el.analysisDepth.textContent = `depth ${info.depth}`
  if (info.wdl) {
    const [win, draw, loss] = whiteToMove ? info.wdl : [...info.wdl].reverse()
    const percent = (permille) => `${Math.round(permille / 10)}%`
    el.wdl.textContent = `W ${percent(win)} · D ${percent(draw)} · L ${percent(loss)}`
  }
  state.share = whiteShare(info, whiteToMove)
  showEvalBar()
  if (withArrow) {
    board.removeArrows()
    board.addArrow(BEST_MOVE, info.pv[0].slice(0, 2), info.pv[0].slice(2, 4))
  }
}

// ---- the move list

function showMoves() {
  const list = []
  const annotations = page.annotations
  let number = Number(record.startFen.split(' ')[5])
  record.moves.forEach((move, index) => {
    const white = fenTurn(fenAt(index)) === 'w'
    if (white || index === 0) {
      const label = document.createElement('span')
      label.className = 'move-number'
      label.textContent = white ? `${number}.` : `${number}…`
      list.push(label)
    }
    if (index === 0 && !white) list.push(document.createElement('span'))
    if (!white) number++

    const ply = index + 1
    const button = document.createElement('button')
    button.type = 'button'
    button.className = 'ply'
    button.dataset.ply = ply
    const note = annotations[ply]
    const mark = note?.mark && MARK[note.mark]
    button.textContent = move.san + (mark ? mark.symbol : '')
    if (mark) button.classList.add(`mark-${note.mark}`)
    if (note) button.title = [note.eval, note.better && `better ${note.better}`].filter(Boolean).join(', ')
    if (ply === state.ply) button.classList.add('current')
    list.push(button)
  })
  if (state.result) {
    const result = document.createElement('span')
    result.className = 'result'
    result.textContent = state.result.score
    list.push(result)
  }
  el.moves.replaceChildren(...list)
  const current = el.moves.querySelector('.current')
  if (current) {
    const top = current.offsetTop - el.moves.offsetTop
    if (top < el.moves.scrollTop || top + current.offsetHeight > el.moves.scrollTop + el.moves.clientHeight) {
      el.moves.scrollTop = top - el.moves.clientHeight / 2
    }
  } else if (live()) el.moves.scrollTop = el.moves.scrollHeight
}

function showWalkButtons() {
  el.walkFirst.disabled = el.walkBack.disabled = state.ply === 0
  el.walkForward.disabled = el.walkLast.disabled = live()
  el.takeback.disabled = takeBackTarget() === null
}

// ---- the game

// Shows the position at state.ply and lets the engine act on it.
function showPosition(animate = true) {
  game = positionAt(state.ply)
  board.setPosition(game.fen(), animate)
  board.removeMarkers(LAST_MOVE)
  const last = record.moves[state.ply - 1]
  if (last) {
    board.addMarker(LAST_MOVE, last.from)
    board.addMarker(LAST_MOVE, last.to)
  }
  showMoves()
  showWalkButtons()
  showClocks()
  for (const listener of positionListeners) {
    try {
      listener({ fen: game.fen(), ply: state.ply })
    } catch (error) {
      console.error('a position listener failed:', error)
    }
  }
  refresh()
}

// Cuts the game after the given ply; what was said about the moves after it goes too.
function truncate(ply) {
  record.moves.length = ply
  page.annotations.length = Math.min(page.annotations.length, ply + 1)
  state.result = null
}

// Adds the move just played on `game` (the shown position) to the game.
function addMove(move) {
  chargeClock()
  if (!live()) truncate(state.ply)
  if (state.clock) state.time[move.color] += state.clock.inc
  record.moves.push({ san: move.san, lan: move.lan, fen: move.after, from: move.from, to: move.to })
  state.ply = record.moves.length
  state.result = ruleResult(game)
  showPosition()
}

function goToPly(ply) {
  const target = Math.max(0, Math.min(record.moves.length, Number(ply) || 0))
  if (target === state.ply) return
  board.cancelMoveInput()
  state.ply = target
  showPosition()
}

// The ply a take back returns to: the player's turn before their last move, or null.
function takeBackTarget() {
  if (state.result?.onTime) return null
  const target = record.moves.length - (liveTurn() === state.player ? 2 : 1)
  return target >= 0 ? target : null
}

function takeBack() {
  const target = takeBackTarget()
  if (target === null) return
  board.cancelMoveInput()
  truncate(target)
  state.ply = target
  showPosition()
}

// Starts a game from the position (a FEN) with the given moves; the player takes the side to move.
function startGame(startFen, moves = [], { headers = null, result = null } = {}) {
  board.cancelMoveInput()
  record.startFen = startFen
  record.moves = moves
  page.annotations.length = 0
  state.headers = headers
  state.date = new Date()
  state.ply = moves.length
  state.result = ruleResult(positionAt(moves.length)) ?? result
  state.newGame = true
  setClock(el.clock.value)
  showPosition(false)
}

function newGame() {
  startGame(START_FEN)
}

// The board takes one turn at a time and drops a second asked for while it turns, so each turn
// waits for the one before and then turns to the side wanted by then.
let turning = Promise.resolve()
function orient(color) {
  state.orientation = color
  turning = turning.then(() => {
    if (board.getOrientation() !== state.orientation) return board.setOrientation(state.orientation, true)
  })
  showEvalBar()
  showClocks()
}

function setPlayer(color) {
  state.player = color
  el.color.value = color
  orient(color === 'w' ? COLOR.white : COLOR.black)
}

// ---- the engine

function engineGoCommand() {
  if (!state.clock) return `go movetime ${el.movetime.value}`
  chargeClock()
  const [wtime, btime] = [state.time.w, state.time.b].map((ms) => Math.max(1, Math.round(ms)))
  return `go wtime ${wtime} btime ${btime} winc ${state.clock.inc} binc ${state.clock.inc}`
}

// Brings the engine in line with the page: stops whatever it runs, then
// searches for its own move on its turn at the game's end, analyses when
// Analyse is on, or rests.
async function refresh() {
  const generation = ++state.generation
  // While the review holds the engine its searches are its own: the page neither stops nor starts one.
  if (state.acquired) return
  await engine.stop()
  if (generation !== state.generation || !state.ready || state.acquired) return

  if (state.newGame) {
    state.newGame = false
    engine.send('ucinewgame')
    await engine.ready()
    if (generation !== state.generation) return
  }

  clearAnalysis()
  const fen = game.fen()
  const position = {
    fen: record.startFen === START_FEN ? 'startpos' : record.startFen,
    moves: record.moves.slice(0, state.ply).map((move) => move.lan),
  }
  const check = game.inCheck() ? ', in check' : ''
  const where = live() ? '' : `Move ${state.ply} of ${record.moves.length}; a move here replaces the rest. `
  const over = live() && state.result ? `${state.result.reason} (${state.result.score})` : ''

  if (live() && !state.result && game.turn() !== state.player) {
    document.body.dataset.search = 'move'
    setStatus(`Varnu is thinking (${sideName(game.turn())}${check})…`)
    applyOptions({ ...levelOptions(), MultiPV: 1 })
    const reply = await engine.go(position, engineGoCommand(), (line) => showInfo(line, fen, false))
    if (reply.stopped || generation !== state.generation) return
    document.body.dataset.search = 'idle'
    const move = playUci(game, reply.move)
    if (!move) {
      setStatus(`Varnu answered a move that is not legal here: ${reply.move}`)
      return
    }
    addMove(move)
  } else if (el.analyse.checked && !game.isGameOver()) {
    document.body.dataset.search = 'analysis'
    const turn = game.turn() === state.player && live() ? 'Your move' : `${sideName(game.turn())} to move`
    setStatus(over ? `${over}; Varnu is analysing` : `${where}${turn}${check}; Varnu is analysing`)
    applyOptions({ MultiPV: Number(el.multipv.value) })
    // An analysis ends only by the stop of the refresh that follows it.
    await engine.go(position, 'go infinite', (line) => showInfo(line, fen, true))
    if (generation === state.generation) document.body.dataset.search = 'idle'
  } else {
    document.body.dataset.search = 'idle'
    const turn = game.turn() === state.player ? `Your move (${sideName(game.turn())}${check})` : `${sideName(game.turn())} to move${check}`
    setStatus(over || `${where}${turn}`)
  }
}

// ---- PGN and FEN

const pad = (number) => String(number).padStart(2, '0')
const pgnDate = (date) => `${date.getFullYear()}.${pad(date.getMonth() + 1)}.${pad(date.getDate())}`
const pgnEval = (text) => text.replace(/^\+/, '')

function gameTags() {
  const varnu = engineName()
  return {
    Event: 'Game against Varnu',
    Site: 'Varnu web page',
    Date: pgnDate(state.date),
    Round: '-',
    White: state.player === 'w' ? 'Player' : varnu,
    Black: state.player === 'b' ? 'Player' : varnu,
  }
}

// The game as PGN, with the review's evaluations and marks when it has made them.
function pgnText() {
  const tags = { ...(state.headers ?? gameTags()), Result: state.result?.score ?? '*' }
  if (record.startFen !== START_FEN) Object.assign(tags, { SetUp: '1', FEN: record.startFen })
  const names = [...ROSTER, ...Object.keys(tags).filter((name) => !ROSTER.includes(name))]
  const header = names
    .filter((name) => tags[name] !== undefined)
    .map((name) => `[${name} "${String(tags[name]).replace(/\\/g, '\\\\').replace(/"/g, '\\"')}"]`)

  const words = []
  let number = Number(record.startFen.split(' ')[5])
  let needNumber = true // after a comment, and at the start, Black's move gets its number again
  record.moves.forEach((move, index) => {
    const white = fenTurn(fenAt(index)) === 'w'
    if (white) words.push(`${number}.`)
    else if (needNumber) words.push(`${number}...`)
    words.push(move.san)
    needNumber = false
    const note = page.annotations[index + 1]
    if (note?.mark && MARK[note.mark]) words.push(MARK[note.mark].nag)
    if (note?.eval) {
      words.push(`{[%eval ${pgnEval(note.eval)}]}`)
      needNumber = true
    }
    if (!white) number++
  })
  words.push(tags.Result)

  const lines = ['']
  for (const word of words) {
    const last = lines.length - 1
    if (lines[last] && lines[last].length + 1 + word.length > 79) lines.push(word)
    else lines[last] = lines[last] ? `${lines[last]} ${word}` : word
  }
  return `${header.join('\n')}\n\n${lines.join('\n')}\n`
}

function pgnFileName() {
  const tags = state.headers ?? gameTags()
  const name = `${tags.White}-${tags.Black}-${tags.Date}`.replace(/[^\w.-]+/g, '_')
  return `${name}.pgn`
}

function say(text) {
  el.gameMessage.textContent = text
}

async function copyPgn() {
  const text = pgnText()
  try {
    await navigator.clipboard.writeText(text)
    say('The PGN is on the clipboard.')
  } catch {
    // Without clipboard access (an http page, a refused permission) the text goes to the box.
    el.gameText.value = text
    el.gameText.select()
    say('The PGN is in the box below: copy it from there.')
  }
}

function downloadPgn() {
  const url = URL.createObjectURL(new Blob([pgnText()], { type: 'application/x-chess-pgn' }))
  const link = document.createElement('a')
  link.href = url
  link.download = pgnFileName()
  link.click()
  setTimeout(() => URL.revokeObjectURL(url), 1000)
}

// A FEN's first field has the ranks split by slashes; a PGN has tags or numbered moves instead.
const looksLikeFen = (text) => text.split(/\s+/)[0].includes('/') && !/[[.]/.test(text)

// Loads the box's text: a FEN starts a game from that position, a PGN brings its game.
function loadText() {
  const text = el.gameText.value.trim()
  if (!text) return say('Paste a PGN or a FEN first.')
  if (looksLikeFen(text)) {
    const check = validateFen(text)
    if (!check.ok) return say(`Not a valid FEN: ${check.error}`)
    setPlayer(fenTurn(text))
    startGame(new Chess(text).fen())
    return say('Started from the FEN; you have the move.')
  }
  const chess = new Chess()
  try {
    chess.loadPgn(text)
  } catch (error) {
    return say(`Not a valid PGN or FEN: ${error.message}`)
  }
  const history = chess.history({ verbose: true })
  const headers = chess.getHeaders()
  const startFen = history.length ? history[0].before : chess.fen()
  const moves = history.map((move) => ({ san: move.san, lan: move.lan, fen: move.after, from: move.from, to: move.to }))
  const result = ['1-0', '0-1', '1/2-1/2'].includes(headers.Result)
    ? { score: headers.Result, reason: 'The game is over' }
    : null
  delete headers.Result
  delete headers.SetUp
  delete headers.FEN
  setPlayer(chess.turn())
  startGame(startFen, moves, { headers, result })
  say(`Loaded ${moves.length} plies.`)
}

// ---- input

function playerMove(from, to, promotion) {
  let move
  try {
    move = game.move({ from, to, promotion })
  } catch {
    board.setPosition(game.fen(), true)
    return
  }
  addMove(move)
}

function onMoveInput(event) {
  switch (event.type) {
    case INPUT_EVENT_TYPE.moveInputStarted:
      return (
        state.ready &&
        !state.promoting &&
        game.turn() === state.player &&
        !(live() && state.result) &&
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
      // The board moves the piece itself once this returns; showPosition redraws
      // from the game afterwards, which also shows castling's rook and en passant.
      queueMicrotask(() => playerMove(from, to))
      return true
    }
  }
  return undefined
}

function flip() {
  orient(state.orientation === COLOR.white ? COLOR.black : COLOR.white)
}

el.newGame.addEventListener('click', newGame)
el.color.addEventListener('change', () => {
  setPlayer(el.color.value)
  refresh()
})
el.level.addEventListener('change', () => {
  showClocks()
  if (live() && game.turn() !== state.player) refresh()
})
el.clock.addEventListener('change', () => {
  setClock(el.clock.value)
  showPosition(false)
})
el.analyse.addEventListener('change', () => {
  // On the engine's own turn it is searching already; the toggle matters elsewhere.
  if (!(live() && game.turn() !== state.player)) refresh()
})
el.multipv.addEventListener('change', () => {
  if (document.body.dataset.search === 'analysis') refresh()
})
el.walkFirst.addEventListener('click', () => goToPly(0))
el.walkBack.addEventListener('click', () => goToPly(state.ply - 1))
el.walkForward.addEventListener('click', () => goToPly(state.ply + 1))
el.walkLast.addEventListener('click', () => goToPly(record.moves.length))
el.takeback.addEventListener('click', takeBack)
el.flip.addEventListener('click', flip)
el.moves.addEventListener('click', (event) => {
  const ply = event.target.closest('button.ply')?.dataset.ply
  if (ply !== undefined) goToPly(ply)
})
el.pgnCopy.addEventListener('click', copyPgn)
el.pgnDownload.addEventListener('click', downloadPgn)
el.gameLoad.addEventListener('click', loadText)

document.addEventListener('keydown', (event) => {
  if (event.target.closest('input, textarea, select') || event.ctrlKey || event.metaKey || event.altKey) return
  const keys = {
    ArrowLeft: () => goToPly(state.ply - 1),
    ArrowRight: () => goToPly(state.ply + 1),
    Home: () => goToPly(0),
    End: () => goToPly(record.moves.length),
    f: flip,
  }
  const action = keys[event.key]
  if (!action) return
  event.preventDefault()
  action()
})

board.enableMoveInput(onMoveInput)

// What the review and the evaluation breakdown use, and the browser test looks at.
const page = {
  engine,
  annotations: [],
  async acquireEngine() {
    await engineReady // the handshake and the page's own settings come first
    state.acquired++
    state.generation++
    state.options = {} // the review sets what it needs; the page sends its own again afterwards
    await engine.stop()
    document.body.dataset.search = 'idle'
  },
  releaseEngine() {
    state.acquired = Math.max(0, state.acquired - 1)
    state.options = {}
    if (!state.acquired) refresh()
  },
  history: () => ({
    startFen: record.startFen,
    moves: record.moves.map(({ san, lan, fen }) => ({ san, lan, fen })),
  }),
  currentPly: () => state.ply,
  goToPly,
  onPositionChange: (listener) => positionListeners.push(listener),
  annotationsChanged: () => showMoves(),
  level,
  // For the browser test and for a look from the developer tools.
  get game() {
    return game
  },
  board,
  state,
  record,
  log: engine.log,
  pgn: pgnText,
}
window.varnuPage = page

// The review and the evaluation breakdown are separate modules; the page plays without them.
async function mountPanels() {
  for (const [file, mount, id] of [
    ['./review.js', 'mountReview', 'review'],
    ['./why.js', 'mountWhy', 'why'],
  ]) {
    try {
      const module = await import(file)
      await module[mount](document.getElementById(id), page)
    } catch (error) {
      console.warn(`${file} is not mounted:`, error)
    }
  }
}

setClock(el.clock.value)
showPosition(false)
mountPanels()
setInterval(tick, TICK_MS)

try {
  engine.send('uci')
  await engine.waitFor((line) => line === 'uciok')
  offerLevels(engine.log)
  engine.setOption('Hash', HASH_MB)
  engine.setOption('UCI_ShowWDL', true)
  if (engineThreads() > 1 && engine.url !== SINGLE_URL) engine.setOption('Threads', engineThreads())
  await engine.ready()
  state.ready = true
  document.body.dataset.engine = 'ready'
  engineStarted()
  refresh()
} catch (error) {
  console.error('Varnu could not start:', error)
}
