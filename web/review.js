// The review of a game: the engine searches every position of it in turn (the
// start and after each move), the page draws White's win chance over the moves,
// and each move is marked by how much of the mover's own win chance it gave away.
//
// The win chance is the engine's own: W + D/2 of the wdl it reports with
// UCI_ShowWDL, so a mate, a won ending and a dead draw need no rules of ours;
// a mover already lost or already winning loses little by any move, and its
// moves go unmarked.

import { Chess } from './node_modules/chess.js/dist/esm/chess.js'
import { parseInfo } from './uci_engine.js'
import { playUci } from './chess_text.js'

const STRENGTHS = [
  { label: '0.2 s a position', go: 'go movetime 200' },
  { label: '0.5 s a position', go: 'go movetime 500' },
  { label: '1 s a position', go: 'go movetime 1000' },
  { label: 'depth 8', go: 'go depth 8' },
  { label: 'depth 12', go: 'go depth 12' },
]
const DEFAULT_STRENGTH = 1

// The mover's loss of win chance, in percentage points, from which a move earns
// its mark; the big chess sites mark at these steps.
const MARKS = [
  { mark: 'blunder', loss: 30 },
  { mark: 'mistake', loss: 20 },
  { mark: 'inaccuracy', loss: 10 },
]
// The engine's odds come from its own fast games, where a pawn or two decides:
// they reach 5 % by about three pawns down, so a mover already worse has little
// left to lose in points. A move that takes the mover from HELD per cent or more
// to a lost game (under LOST per cent) is a blunder all the same: it lost the game.
const HELD = 15
const LOST = 5
const MARK_NAMES = { inaccuracy: 'Inaccuracies', mistake: 'Mistakes', blunder: 'Blunders' }

// The options a review sets for its searches, and the values it wants; each is
// put back as it was before the engine goes back to the page.
const REVIEW_OPTIONS = { MultiPV: '1', UCI_ShowWDL: 'true', UCI_LimitStrength: 'false' }

const MAX_STOPS = 10 // searches of a review that others may stop before it gives up

const SVG = 'http://www.w3.org/2000/svg'

function element(tag, attributes = {}, text) {
  const node = document.createElement(tag)
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value)
  if (text !== undefined) node.textContent = text
  return node
}

function svgElement(tag, attributes = {}) {
  const node = document.createElementNS(SVG, tag)
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value)
  return node
}

// The stylesheet of the review and of the breakdown, linked once by whichever mounts first.
export function linkStyle() {
  if (document.querySelector('link[data-varnu-review]')) return
  const link = element('link', { rel: 'stylesheet', href: new URL('review.css', import.meta.url).href })
  link.dataset.varnuReview = ''
  document.head.append(link)
}

// The review and the breakdown take the engine in turn through this queue: the
// page's acquireEngine stops whatever runs, which would cut a review's search
// short if the breakdown asked for the engine in the middle of it.
let engineQueue = Promise.resolve()
let reviewing = false // a review has the engine or waits for it

// Runs task(engine) while the page has given the engine up; resolves with its result.
export function withEngine(page, task) {
  const run = engineQueue.then(async () => {
    await page.acquireEngine()
    try {
      return await task(page.engine)
    } finally {
      page.releaseEngine()
    }
  })
  engineQueue = run.catch(() => {})
  return run
}

// Whether a review has the engine or waits for it.
export const reviewRunning = () => reviewing

// Resolves once the page's handshake with the engine is through (its first
// readyok), so that nothing of ours comes between the page's uci and its options.
let engineStarted = false
export async function engineReady(engine) {
  if (!engineStarted && !engine.log.includes('readyok')) await engine.waitFor((line) => line === 'readyok')
  engineStarted = true
}

// The value an option has in the engine now: the last setoption the page sent
// for it, else the default the engine gave after uci; undefined if neither is known.
function optionValue(engine, name) {
  const set = `setoption name ${name} value `
  for (let i = engine.sent.length - 1; i >= 0; i--) {
    if (engine.sent[i].startsWith(set)) return engine.sent[i].slice(set.length)
  }
  const declared = engine.log.find((line) => line.startsWith(`option name ${name} type `))
  return declared?.match(/ default (\S+)/)?.[1]
}

// Sets the review's options; returns the settings that put them back.
function setReviewOptions(engine) {
  const restore = []
  for (const [name, value] of Object.entries(REVIEW_OPTIONS)) {
    const before = optionValue(engine, name)
    if (before === value) continue
    engine.setOption(name, value)
    if (before !== undefined) restore.push([name, before])
  }
  return restore
}

// White's win chance in per mille from a search's last full line, whose wdl is
// the side to move's.
function whiteChance(info, whiteToMove) {
  const [win, draw] = info.wdl
  const chance = win + draw / 2
  return whiteToMove ? chance : 1000 - chance
}

// The score as a PGN %eval writes it, from White's view: '+0.35', '-1.20', '#3', '#-2'.
function evalText(score, whiteToMove) {
  const sign = whiteToMove ? 1 : -1
  if (score.kind === 'mate') return `#${sign * score.value}`
  const pawns = (sign * score.value) / 100
  return (pawns > 0 ? '+' : pawns < 0 ? '-' : '') + Math.abs(pawns).toFixed(2)
}

// The positions of the game, each with the rules' verdict when the game is over
// there: those are scored by the rules, not searched. A position with one legal
// move notes it: the engine answers such a position at once with a one-ply
// score, so the review scores it as the position after its move instead.
function gamePositions(history) {
  const chess = new Chess(history.startFen)
  const describe = (lans) => {
    const legal = chess.moves({ verbose: true })
    let over = null
    if (chess.isCheckmate()) over = { white: chess.turn() === 'w' ? 0 : 1000, eval: null }
    else if (chess.isDraw()) over = { white: 500, eval: '0.00' }
    return { fen: chess.fen(), lans: [...lans], over, only: legal.length === 1 ? legal[0].lan : null }
  }
  const lans = []
  const positions = [describe(lans)]
  for (const move of history.moves) {
    if (!playUci(chess, move.lan)) throw new Error(`the game's move ${move.san} is not legal`)
    lans.push(move.lan)
    positions.push(describe(lans))
  }
  // The game's last position, when forced, is scored from the one after its move.
  const last = positions.at(-1)
  if (last.only && !last.over) {
    playUci(chess, last.only)
    last.next = describe([...lans, last.only])
  }
  return positions
}

// The mark of a move from the mover's win chance before and after it, in per mille.
function markOf(before, after) {
  if (before >= HELD * 10 && after < LOST * 10) return 'blunder'
  const loss = (before - after) / 10
  return MARKS.find((step) => loss >= step.loss)?.mark ?? null
}

// Searches a position of the game; resolves with White's win chance, the
// evaluation's text and the best move, or null when the search was stopped.
async function search(engine, startFen, position, goCommand) {
  const whiteToMove = position.fen.split(' ')[1] === 'w'
  if (position.over) return { ...position.over, best: null }
  let last = null
  const onInfo = (line) => {
    const info = parseInfo(line)
    if (info.score && info.wdl && !info.bound && (info.multipv ?? 1) === 1) last = info
  }
  // From the game's start with its moves, so the engine sees the repetitions.
  const reply = await engine.go({ fen: startFen, moves: position.lans }, goCommand, onInfo)
  if (reply.stopped) return null
  if (!last) throw new Error(`the engine gave no score with odds for ${position.fen}`)
  return { white: whiteChance(last, whiteToMove), eval: evalText(last.score, whiteToMove), best: reply.move }
}

// The engine's move in SAN in the position, or null.
function sanOf(fen, lan) {
  return playUci(new Chess(fen), lan)?.san ?? null
}

// What a finished review makes of its searches: a point of the graph for each
// position and an annotation for each move (1-based, as the page keeps them).
function judge(history, positions, results) {
  const annotations = [null]
  for (let ply = 1; ply < positions.length; ply++) {
    const whiteMoved = positions[ply - 1].fen.split(' ')[1] === 'w'
    const mover = (chance) => (whiteMoved ? chance : 1000 - chance)
    const played = history.moves[ply - 1]
    const best = results[ply - 1].best
    // The engine's own choice is not faulted for what a search one ply deeper sees.
    const mark = best === played.lan ? null : markOf(mover(results[ply - 1].white), mover(results[ply].white))
    annotations.push({
      eval: results[ply].eval,
      mark,
      better: mark && best ? sanOf(positions[ply - 1].fen, best) : null,
    })
  }
  return annotations
}

export function mountReview(root, page) {
  linkStyle()
  root.classList.add('review')
  root.replaceChildren()

  const strength = element('select', { 'aria-label': 'Review strength' })
  STRENGTHS.forEach((choice, index) => strength.append(element('option', { value: index }, choice.label)))
  strength.value = String(DEFAULT_STRENGTH)
  const start = element('button', { type: 'button' }, 'Review game')
  const cancel = element('button', { type: 'button', hidden: '' }, 'Cancel')
  const controls = element('div', { class: 'review-controls' })
  controls.append(start, strength, cancel)

  const progress = element('progress', { max: 1, value: 0 })
  const progressText = element('span')
  const progressRow = element('div', { class: 'review-progress', hidden: '' })
  progressRow.append(progress, progressText)
  const message = element('p', { class: 'review-message', role: 'status' })

  const graph = svgElement('svg', {
    class: 'review-graph',
    role: 'img',
    'aria-label': "White's win chance over the game; click to go to a position",
  })
  const caption = element('p', { class: 'review-caption' })
  const summary = element('table', { class: 'review-summary' })
  const thresholds = element(
    'p',
    { class: 'note' },
    `A move is marked by how much of the mover's win chance it gives away: ` +
      MARKS.slice()
        .reverse()
        .map((step) => `${step.mark} ${step.loss}`)
        .join(', ') +
      ` percentage points or more; a move from ${HELD}\u00a0% or more to a lost game (under ${LOST}\u00a0%) is a blunder too.`,
  )
  const graphBox = element('div', { class: 'review-result', hidden: '' })
  graphBox.append(graph, caption, summary, thresholds)

  root.append(element('h2', {}, 'Review'), controls, progressRow, message, graphBox)

  const state = {
    running: null, // the review under way: { cancelled }
    reviewed: null, // the finished review: { lans, sans, fens, startFen, points, annotations }
    plyX: null, // the graph's x of a ply, as last drawn
  }

  function setProgress(done, total) {
    progress.max = total
    progress.value = done
    progressText.textContent = `Position ${Math.min(done + 1, total)} of ${total}`
  }

  async function review() {
    const history = page.history()
    const positions = gamePositions(history)
    const goCommand = STRENGTHS[Number(strength.value)].go
    const run = { cancelled: false }
    state.running = run
    start.disabled = true
    strength.disabled = true
    cancel.hidden = false
    progressRow.hidden = false
    root.dataset.review = 'running'
    message.textContent = ''
    setProgress(0, positions.length)

    const results = []
    reviewing = true
    try {
      await engineReady(page.engine)
      await withEngine(page, async (engine) => {
        const restore = setReviewOptions(engine)
        try {
          let stops = 0
          while (results.length < positions.length && !run.cancelled) {
            setProgress(results.length, positions.length)
            const position = positions[results.length]
            if (position.over) results.push({ ...position.over, best: null })
            else if (position.only && !position.next) results.push({ forced: true, best: position.only })
            else {
              const result = await search(engine, history.startFen, position.next ?? position, goCommand)
              // Only Cancel ends a review: a search stopped by someone else is run again.
              if (result) results.push(position.next ? { ...result, best: position.only } : result)
              else if (++stops > MAX_STOPS) throw new Error('the engine was stopped again and again')
            }
          }
        } finally {
          for (const [name, value] of restore) engine.setOption(name, value)
        }
      })
      // A forced position scores as the one after its move, which the game holds next.
      for (let ply = results.length - 2; ply >= 0; ply--) {
        if (results[ply].forced) results[ply] = { ...results[ply + 1], best: results[ply].best }
      }
    } finally {
      reviewing = false
      state.running = null
      start.disabled = false
      strength.disabled = false
      cancel.hidden = true
      progressRow.hidden = true
    }

    if (results.length < positions.length) {
      root.dataset.review = 'cancelled'
      message.textContent = `Review cancelled after ${results.length} of ${positions.length} positions.`
      return
    }
    const annotations = judge(history, positions, results)
    state.reviewed = {
      lans: history.moves.map((move) => move.lan),
      sans: history.moves.map((move) => move.san),
      fens: positions.map((position) => position.fen),
      startFen: history.startFen,
      points: results.map((result) => result.white),
      annotations,
    }
    page.annotations = annotations
    page.annotationsChanged()
    root.dataset.review = 'done'
    show()
    if (forgetIfStale()) message.textContent = 'The game changed during the review: review it again.'
  }

  // Draws the graph in the element's own pixels, so nothing is stretched: Black's
  // share as the background, White's as the area under the line, a band over
  // the stretch of each marked move and a line at the shown ply. Plain SVG
  // rather than a chart package: one polyline and a few rectangles need no
  // dependency to keep up with.
  function drawGraph() {
    const { points, annotations } = state.reviewed
    const width = graph.clientWidth || 300
    const height = graph.clientHeight || 100
    const step = width / Math.max(points.length - 1, 1)
    const x = (ply) => ply * step
    const y = (chance) => height - (chance * height) / 1000
    const xy = points.map((chance, ply) => `${x(ply)},${y(chance)}`)
    if (points.length === 1) xy.push(`${width},${y(points[0])}`)
    graph.setAttribute('viewBox', `0 0 ${width} ${height}`)
    graph.replaceChildren(
      svgElement('rect', { class: 'graph-black', x: 0, y: 0, width, height }),
      svgElement('polygon', { class: 'graph-white', points: `0,${height} ${xy.join(' ')} ${width},${height}` }),
    )
    annotations.forEach((annotation, ply) => {
      if (!annotation?.mark) return
      const band = { class: `graph-mark graph-${annotation.mark}`, x: x(ply - 1), y: 0, width: step, height }
      graph.append(svgElement('rect', band))
    })
    graph.append(
      svgElement('line', { class: 'graph-middle', x1: 0, y1: height / 2, x2: width, y2: height / 2 }),
      svgElement('polyline', { class: 'graph-line', points: xy.join(' ') }),
      svgElement('line', { class: 'graph-ply', y1: 0, y2: height }),
    )
    state.plyX = x
    showPly(page.currentPly())
  }

  // Marks the shown ply on the graph and says what the review found there.
  function showPly(ply) {
    const reviewed = state.reviewed
    if (!reviewed) return
    const marker = graph.querySelector('.graph-ply')
    const inGame = ply <= reviewed.lans.length
    const at = inGame ? state.plyX(ply) : -10
    marker.setAttribute('x1', at)
    marker.setAttribute('x2', at)
    graph.dataset.ply = ply
    if (!inGame) {
      caption.textContent = 'The game has gone on since the review: review it again to see the new moves.'
      return
    }
    const chance = `White's win chance ${Math.round(reviewed.points[ply] / 10)}\u00a0%`
    if (ply === 0) {
      caption.textContent = `Start: ${chance}`
      return
    }
    const [, turn, , , , number] = reviewed.fens[ply - 1].split(' ')
    const whiteMoved = turn === 'w'
    const annotation = reviewed.annotations[ply]
    const move = `${number}${whiteMoved ? '.' : '…'} ${reviewed.sans[ply - 1]}`
    const verdict = annotation.mark
      ? `: ${annotation.mark}${annotation.better ? `, ${annotation.better} was better` : ''}`
      : ''
    caption.textContent = `${move}${verdict} (${annotation.eval ?? 'mate'}; ${chance})`
  }

  // The marks of each side in a small table.
  function drawSummary() {
    const counts = { w: {}, b: {} }
    const { annotations, fens } = state.reviewed
    annotations.forEach((annotation, ply) => {
      if (!annotation?.mark) return
      const side = fens[ply - 1].split(' ')[1]
      counts[side][annotation.mark] = (counts[side][annotation.mark] ?? 0) + 1
    })
    summary.replaceChildren()
    const head = element('tr')
    head.append(element('th'), element('th', { scope: 'col' }, 'White'), element('th', { scope: 'col' }, 'Black'))
    summary.append(head)
    for (const step of MARKS.slice().reverse()) {
      const row = element('tr', { class: `summary-${step.mark}` })
      row.append(
        element('th', { scope: 'row' }, MARK_NAMES[step.mark]),
        element('td', {}, String(counts.w[step.mark] ?? 0)),
        element('td', {}, String(counts.b[step.mark] ?? 0)),
      )
      summary.append(row)
    }
  }

  function show() {
    graphBox.hidden = false
    drawGraph()
    drawSummary()
  }

  // A review stays while the game keeps its moves; a changed move or a new game ends it.
  function forgetIfStale() {
    const reviewed = state.reviewed
    if (!reviewed) return false
    const history = page.history()
    const same =
      history.startFen === reviewed.startFen &&
      reviewed.lans.every((lan, index) => history.moves[index]?.lan === lan)
    if (same) return false
    state.reviewed = null
    graphBox.hidden = true
    delete root.dataset.review
    page.annotations = []
    page.annotationsChanged()
    return true
  }

  // The graph is drawn in pixels, so a new size (a phone turned, a window resized) redraws it.
  new ResizeObserver(() => {
    if (state.reviewed && !graphBox.hidden) drawGraph()
  }).observe(graph)

  graph.addEventListener('click', (event) => {
    const reviewed = state.reviewed
    if (!reviewed) return
    const box = graph.getBoundingClientRect()
    const last = reviewed.points.length - 1
    const ply = Math.round(((event.clientX - box.left) / box.width) * Math.max(last, 1))
    page.goToPly(Math.max(0, Math.min(last, ply)))
  })

  start.addEventListener('click', () => {
    if (state.running) return
    review().catch((error) => {
      root.dataset.review = 'failed'
      message.textContent = `The review failed: ${error.message}`
      console.error('Varnu review:', error)
    })
  })

  cancel.addEventListener('click', () => {
    const run = state.running
    if (!run) return
    run.cancelled = true
    page.engine.stop()
  })

  page.onPositionChange(({ ply }) => {
    if (!forgetIfStale()) showPly(ply)
  })
}
