// Why the engine likes a position: its static evaluation of the shown position
// by term, from "eval json", grouped as a person reads a position. The rows add
// up to the engine's total exactly: what the clamp of the positional part, the
// scaling of drawish endings and the rounding of the blend take or give is a
// row of its own.

import { Chess } from './node_modules/chess.js/dist/esm/chess.js'
import { engineReady, linkStyle, reviewRunning, withEngine } from './review.js'

const DEBOUNCE_MS = 250 // a walk through the moves asks only where it stops
const REPLY_MS = 3000 // an engine from before "eval json" answers it with no info string

// The groups shown, each with the engine's terms it sums, in the engine's order.
const GROUPS = [
  { name: 'Material and piece squares', terms: ['Material/PST'] },
  { name: 'Pawn structure', terms: ['Weak pawns'] },
  { name: 'Passed pawns', terms: ['Passed pawns'] },
  { name: 'Pieces (mobility and placement)', terms: ['Knights', 'Bishops', 'Rooks', 'Queens', 'Bishop pair'] },
  { name: 'King safety', terms: ['King safety'] },
  {
    name: 'Endgame knowledge',
    terms: ['M: Material', 'M: King edge dist', 'M: King dist', 'M: KBNK safe corner'],
  },
  { name: 'Side to move', terms: ['Side to move'] },
]

function element(tag, attributes = {}, text) {
  const node = document.createElement(tag)
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value)
  if (text !== undefined) node.textContent = text
  return node
}

// Centipawns as pawns with a sign: +0.35, -1.20, 0.00.
function pawns(centipawns) {
  const text = Math.abs(centipawns / 100).toFixed(2)
  return centipawns > 0 ? `+${text}` : centipawns < 0 ? `-${text}` : text
}

// The shown rows of an evaluation: the groups, then the clamp and scaling;
// their values sum to the total.
function breakdownRows(evaluation) {
  const byName = new Map(evaluation.terms.map((term) => [term.name, term]))
  const known = new Set(GROUPS.flatMap((group) => group.terms))
  const rows = GROUPS.map((group) => {
    const terms = group.terms.map((name) => byName.get(name)).filter(Boolean)
    return {
      name: group.name,
      terms,
      white: terms.reduce((sum, term) => sum + term.white.value, 0),
      black: terms.reduce((sum, term) => sum + term.black.value, 0),
      value: terms.reduce((sum, term) => sum + term.value, 0),
    }
  })
  // A term of a newer engine that no group names still counts, under its own name.
  for (const term of evaluation.terms) {
    if (!known.has(term.name)) {
      rows.push({ name: term.name, terms: [term], white: term.white.value, black: term.black.value, value: term.value })
    }
  }
  rows.push({ name: 'Clamp and scaling', terms: [], value: evaluation.adjust, adjust: true })
  return rows
}

// The middle game's share of the blend, as the engine weighs its two sums.
// The scaling of a drawish ending joins it, since it weighs the whole sum too.
function phaseText(evaluation) {
  const middle = Math.round((100 * evaluation.phase) / evaluation.phaseMax)
  const blend = `Phase ${evaluation.phase} of ${evaluation.phaseMax}: middle game ${middle}\u00a0%, endgame ${100 - middle}\u00a0%`
  if (evaluation.scale === 100) return blend
  return `${blend}; the whole scaled to ${evaluation.scale}\u00a0% (a drawish ending or the fifty-move count)`
}

function adjustNote(evaluation) {
  const parts = ['the positional part held within ±2.00', 'rounding']
  if (evaluation.scale !== 100) parts.unshift(`the whole scaled to ${evaluation.scale}\u00a0%`)
  return parts.join(', ')
}

// The static evaluation knows nothing of mate and stalemate; the page says so where the game is over.
function gameOverNote(fen) {
  const chess = new Chess(fen)
  if (chess.isCheckmate()) return 'Checkmate: the game is over, whatever the terms below say.'
  if (chess.isStalemate()) return 'Stalemate: the game is drawn, whatever the terms below say.'
  return ''
}

export function mountWhy(root, page) {
  linkStyle()
  root.classList.add('why')
  root.replaceChildren()

  const total = element('span', { class: 'why-total' }, '–')
  const head = element('div', { class: 'why-head' })
  head.append(total, element('span', { class: 'note' }, "White's view, the engine's static evaluation"))
  const phase = element('p', { class: 'why-phase note' })
  const table = element('table', { class: 'why-table' })
  const message = element('p', { class: 'why-message note' })
  const terms = element('details', { class: 'why-terms' })
  terms.append(element('summary', {}, 'Each term, middle game and endgame'))
  const termTable = element('table', { class: 'why-term-table' })
  terms.append(termTable)

  root.append(element('h2', {}, 'Why: the evaluation by term'), head, message, phase, table, terms)

  let generation = 0
  let timer = null

  function showEvaluation(evaluation, fen) {
    const rows = breakdownRows(evaluation)
    total.textContent = pawns(evaluation.total)
    root.dataset.total = evaluation.total
    phase.textContent = phaseText(evaluation)
    message.textContent = gameOverNote(fen)
    if (evaluation.mating) {
      message.textContent = 'A pawnless side has a decisive edge: the mating knowledge alone scores the position.'
    }

    // Each row's net value is drawn below it as a bar from the middle: right for
    // White, left for Black, on one scale for all rows.
    const widest = Math.max(50, ...rows.map((row) => Math.abs(row.value)))
    table.replaceChildren()
    const heading = element('tr')
    for (const text of ['', 'White', 'Black', 'Net']) heading.append(element('th', { scope: 'col' }, text))
    table.append(heading)
    for (const row of rows) {
      const line = element('tr', { class: row.value ? 'why-row' : 'why-row why-zero' })
      const name = element('th', { scope: 'row' }, row.name)
      if (row.adjust) name.title = adjustNote(evaluation)
      if (row.terms.length > 1) name.title = row.terms.map((term) => term.name).join(', ')
      line.append(
        name,
        element('td', {}, row.adjust ? '' : pawns(row.white)),
        element('td', {}, row.adjust ? '' : pawns(row.black)),
        element('td', { class: 'why-net' }, pawns(row.value)),
      )
      const bar = element('span', { class: row.value >= 0 ? 'why-bar white' : 'why-bar black' })
      bar.style.width = `${(50 * Math.abs(row.value)) / widest}%`
      const barCell = element('td', { colspan: 4 })
      barCell.append(bar)
      const barLine = element('tr', { class: row.value ? 'why-bar-row' : 'why-bar-row why-zero', 'aria-hidden': 'true' })
      barLine.append(barCell)
      table.append(line, barLine)
    }
    const sum = element('tr', { class: 'why-sum' })
    sum.append(element('th', { scope: 'row' }, 'Total'), element('td'), element('td'))
    sum.append(element('td', { class: 'why-net' }, pawns(evaluation.total)))
    table.append(sum)

    termTable.replaceChildren()
    const termHead = element('tr')
    for (const text of ['', 'White mg', 'eg', 'Black mg', 'eg', 'Net']) {
      termHead.append(element('th', { scope: 'col' }, text))
    }
    termTable.append(termHead)
    for (const term of evaluation.terms) {
      const line = element('tr', term.value ? {} : { class: 'why-zero' })
      line.append(element('th', { scope: 'row' }, term.name))
      for (const number of [term.white.mg, term.white.eg, term.black.mg, term.black.eg]) {
        line.append(element('td', {}, String(number)))
      }
      line.append(element('td', {}, String(term.value)))
      termTable.append(line)
    }
  }

  function showMessage(text) {
    total.textContent = '–'
    delete root.dataset.total
    phase.textContent = ''
    table.replaceChildren()
    termTable.replaceChildren()
    message.textContent = text
  }

  // Asks the engine for the evaluation of the position: the parsed JSON, or
  // { refused } with the engine's reason.
  async function evaluate(engine, fen) {
    const reply = engine.waitFor((line) => line.startsWith('info string eval '))
    engine.send(`position fen ${fen}`)
    engine.send('eval json')
    const line = await Promise.race([reply, new Promise((resolve) => setTimeout(resolve, REPLY_MS, null))])
    const json = line?.slice('info string eval '.length)
    if (!json?.startsWith('{')) return { refused: line ? json : 'this engine build has no "eval json"' }
    return JSON.parse(json)
  }

  async function refresh(fen) {
    const asked = ++generation
    if (reviewRunning()) message.textContent = 'The review has the engine; the breakdown follows when it is done.'
    let evaluation
    try {
      await engineReady(page.engine)
      // A position left while waiting for the engine is not asked about.
      evaluation = await withEngine(page, (engine) => (asked === generation ? evaluate(engine, fen) : null))
    } catch (error) {
      evaluation = { refused: error.message }
    }
    if (asked !== generation || !evaluation) return
    if (evaluation.refused) showMessage(`No evaluation: ${evaluation.refused}`)
    else showEvaluation(evaluation, fen)
    root.dataset.fen = fen
  }

  // While Varnu thinks over its own move the breakdown waits for that move, which changes the
  // position again, rather than stopping the search and costing the engine its clock's time.
  const engineMoving = () => document.body.dataset.search === 'move'

  function schedule(fen) {
    clearTimeout(timer)
    timer = setTimeout(() => {
      if (!engineMoving()) refresh(fen)
      else showMessage('The breakdown follows when Varnu has moved.')
    }, DEBOUNCE_MS)
  }

  page.onPositionChange(({ fen }) => schedule(fen))
  const { startFen, moves } = page.history()
  schedule(moves[page.currentPly() - 1]?.fen ?? startFen)
}
