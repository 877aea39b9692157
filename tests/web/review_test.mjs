// The review of a game and the evaluation breakdown on Varnu's web page, in
// Debian's Chromium: a short game with a planted blunder is reviewed, a review
// is cancelled, and the breakdown's rows are summed against the engine's own
// plain "eval" table, run under Node.
//
//   node tests/web/review_test.mjs                     the checks
//   node tests/web/review_test.mjs --screenshots DIR   pictures of the review and the breakdown
//
// Needs web/node_modules (npm ci in web/) and the engine built to web/engine/.
// CHROMIUM names the browser (default /usr/bin/chromium).

import { spawn } from 'node:child_process'
import fs from 'node:fs/promises'
import path from 'node:path'
import { createRequire } from 'node:module'
import { fileURLToPath } from 'node:url'

import { checks, expect, serve } from './harness.mjs'

const webUrl = new URL('../../web/', import.meta.url)
const webDir = fileURLToPath(webUrl)
const { chromium } = createRequire(new URL('package.json', webUrl))('playwright-core')

// Black's queen checks on e4, where the knight takes it: 3... Qe4+ is the blunder.
const BLUNDER_GAME = '1. e4 d5 2. exd5 Qxd5 3. Nc3 Qe4+ 4. Nxe4 Nf6 5. Nxf6+ exf6 *'
const BLUNDER_PLY = 6

// Positions whose breakdown must add up to the engine's plain total: the start,
// a middle game with unequal material, endings the engine scales towards a
// draw, pawnless mates the mating knowledge scores, and Black to move.
const EVAL_FENS = [
  ['the start', 'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1'],
  ['a middle game, Black a knight down', 'r1bqk2r/pppp1ppp/2n5/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 0 4'],
  ['opposite bishops, 80 plies without a capture', '8/5k2/4b3/5p2/8/4PKP1/3B4/8 w - - 80 90'],
  ['the wrong bishop for the rook pawn', 'k7/8/8/8/8/8/P2B4/4K3 w - - 0 1'],
  ['king, bishop and knight against king', '8/8/8/4k3/8/8/8/4KBN1 w - - 0 1'],
  ['a queen against a rook, Black to move', '8/8/3k4/8/8/2r5/8/3QK3 b - - 0 1'],
]

// Morphy's game at the Paris opera, 1858: short, sharp and ending in mate.
const OPERA_GAME =
  '1. e4 e5 2. Nf3 d6 3. d4 Bg4 4. dxe5 Bxf3 5. Qxf3 dxe5 6. Bc4 Nf6 7. Qb3 Qe7 8. Nc3 c6 ' +
  '9. Bg5 b5 10. Nxb5 cxb5 11. Bxb5+ Nbd7 12. O-O-O Rd8 13. Rxd7 Rxd7 14. Rd1 Qe6 ' +
  '15. Bxd7+ Nxd7 16. Qb8+ Nxb8 17. Rd8# 1-0'

const results = checks('review_test.mjs')
const { check } = results


// The "Total evaluation" of the engine's plain eval table for the FEN, from the engine under Node.
function plainTotal(fen) {
  return new Promise((resolve, reject) => {
    const engine = spawn('node', ['--no-experimental-fetch', fileURLToPath(new URL('engine/varnu.js', webUrl))])
    let out = ''
    engine.stdout.on('data', (chunk) => (out += chunk))
    engine.on('error', reject)
    engine.on('close', () => {
      const total = out.match(/Total evaluation =\s*(-?\d+)/)
      if (total) resolve(Number(total[1]))
      else reject(new Error(`no total in the engine's eval of ${fen}`))
    })
    engine.stdin.end(`uci\nposition fen ${fen}\neval\nquit\n`)
  })
}

// Pawns as the breakdown writes them (+0.35, -1.20) back to centipawns.
const centipawns = (text) => Math.round(Number(text.replace('−', '-')) * 100)

async function openPage(browser, base, errors, viewport = { width: 1280, height: 800 }) {
  const page = await browser.newPage({ viewport })
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(`console: ${message.text()}`)
  })
  page.on('pageerror', (error) => errors.push(`page error: ${error.message}`))
  page.on('response', (response) => {
    if (response.status() >= 400) errors.push(`HTTP ${response.status()} for ${response.url()}`)
  })
  await page.goto(`${base}/`)
  await page.waitForFunction(() => document.body.dataset.engine === 'ready' && window.varnuPage, null, {
    timeout: 30000,
  })
  await page.waitForSelector('#review button', { timeout: 10000 })
  return page
}

// Loads a PGN or a FEN through the page's own text box.
async function loadGame(page, text) {
  await page.evaluate(() => (document.getElementById('games').open = true))
  await page.fill('#game-text', text)
  await page.click('#game-load')
  await page.evaluate(() => (document.getElementById('games').open = false))
}

const sent = (page) => page.evaluate(() => [...window.varnuPage.engine.sent])
const received = (page) => page.evaluate(() => [...window.varnuPage.engine.log])

// Chooses the review's strength by its label and starts the review.
async function startReview(page, strength) {
  await page.selectOption('#review select', { label: strength })
  await page.click('#review button:text("Review game")')
}

// Clicks the review's graph at the given share of its width, halfway up.
async function clickGraph(page, share) {
  const graph = page.locator('#review .review-graph')
  await graph.scrollIntoViewIfNeeded()
  const box = await graph.boundingBox()
  await graph.click({ position: { x: box.width * share, y: box.height / 2 } })
}

// The last value set for each option the review may change.
function optionsIn(commands) {
  const options = {}
  for (const command of commands) {
    const set = command.match(/^setoption name (MultiPV|UCI_ShowWDL|UCI_LimitStrength) value (\S+)$/)
    if (set) options[set[1]] = set[2]
  }
  return options
}

async function reviewChecks(page) {
  let stopsDuringReview = null
  await check('a review, with the moves walked meanwhile, marks the planted blunder and draws every position', async () => {
    await loadGame(page, BLUNDER_GAME)
    await page.waitForFunction(() => window.varnuPage.history().moves.length === 10, null, { timeout: 5000 })
    const before = await sent(page)
    await startReview(page, '0.2 s a position')
    // Walking the moves meanwhile asks the breakdown for the engine: it must wait for the review.
    await page.waitForFunction(
      (count) => window.varnuPage.engine.sent.slice(count).filter((command) => command.startsWith('go ')).length >= 3,
      before.length,
      { timeout: 10000 },
    )
    await page.evaluate(() => window.varnuPage.goToPly(2))
    await page.waitForTimeout(400)
    await page.evaluate(() => window.varnuPage.goToPly(4))
    await page.waitForFunction(() => document.getElementById('review').dataset.review !== 'running', null, {
      timeout: 30000,
    })
    const state = await page.evaluate(() => document.getElementById('review').dataset.review)
    expect(state === 'done', `the review ended ${state}`)
    const fourth = await page.evaluate(() => window.varnuPage.history().moves[3].fen)
    await page.waitForFunction((fen) => document.getElementById('why').dataset.fen === fen, fourth, {
      timeout: 5000,
    })
    const after = await sent(page)
    const commands = after.slice(before.length)
    const searches = commands.filter((command) => command.startsWith('go '))
    // The last position is not mate, so all eleven are searched; more means a search was cut short.
    expect(searches.length >= 11, `${searches.length} searches for 11 positions`)
    stopsDuringReview = commands.filter((command) => command === 'stop').length
    expect(searches.every((command) => command === 'go movetime 200'), `searches: ${searches.join(', ')}`)
    // The searches run with the odds shown, one line, full strength; the page's settings come back.
    const during = optionsIn(after.slice(0, after.indexOf(searches[0], before.length)))
    expect(during.UCI_ShowWDL === 'true', `UCI_ShowWDL was ${during.UCI_ShowWDL} during the review`)
    expect((during.MultiPV ?? '1') === '1', `MultiPV was ${during.MultiPV} during the review`)
    expect(during.UCI_LimitStrength !== 'true', 'the review searched at a limited strength')
    const restored = optionsIn(after)
    const was = optionsIn(before)
    for (const name of Object.keys(was)) {
      expect(restored[name] === was[name], `${name} left at ${restored[name]}, was ${was[name]}`)
    }
    const points = await page.$eval('#review .graph-line', (line) => line.getAttribute('points').trim().split(/\s+/))
    expect(points.length === 11, `${points.length} points on the graph for 11 positions`)
    const annotations = await page.evaluate(() => window.varnuPage.annotations)
    const blunder = annotations[BLUNDER_PLY]
    expect(blunder?.mark === 'blunder', `3... Qe4+ is marked ${JSON.stringify(blunder)}`)
    expect(blunder.better && blunder.better !== 'Qe4+', `the better move is ${blunder.better}`)
    const whiteMarks = annotations.filter((annotation, ply) => ply % 2 === 1 && annotation?.mark === 'blunder')
    expect(whiteMarks.length === 0, `White's good moves are marked blunders: ${JSON.stringify(annotations)}`)
    expect(
      annotations.slice(1).every((annotation) => /^([+-]?\d+\.\d\d|#-?\d+)$/.test(annotation.eval)),
      `evaluations ${annotations.map((annotation) => annotation?.eval).join(' ')}`,
    )
    const summary = await page.$eval('#review .summary-blunder', (row) => row.textContent)
    expect(/Blunders\s*0\s*1$/.test(summary.trim()), `the summary's blunders row reads "${summary}"`)
    return `3... Qe4+ ${blunder.mark}, ${blunder.better} better; evals ${annotations.slice(1).map((a) => a.eval).join(' ')}`
  })

  await check("walking the moves during a review stops none of the review's searches", async () => {
    expect(
      stopsDuringReview === 0,
      `the page sent stop ${stopsDuringReview} times during the review: its refresh stops an engine it has given up`,
    )
  })

  await check('clicking the graph goes to the position and marks it', async () => {
    await clickGraph(page, BLUNDER_PLY / 10)
    await page.waitForFunction((ply) => window.varnuPage.currentPly() === ply, BLUNDER_PLY, { timeout: 3000 })
    // The marker's share of the graph's width, in plies of the ten.
    const marker = await page.$eval(
      '#review .review-graph',
      (graph) => (10 * graph.querySelector('.graph-ply').getAttribute('x1')) / graph.viewBox.baseVal.width,
    )
    const caption = await page.textContent('#review .review-caption')
    expect(Math.abs(marker - BLUNDER_PLY) < 0.01, `the marker stands at ply ${marker}`)
    expect(caption.includes('Qe4+') && caption.includes('blunder'), `the caption reads "${caption}"`)
    return caption
  })

  await check('Cancel stops the engine at once and sends no further search', async () => {
    const before = await sent(page)
    const bestmovesBefore = (await received(page)).filter((line) => line.startsWith('bestmove')).length
    await startReview(page, '1 s a position')
    await page.waitForFunction(
      (count) => window.varnuPage.engine.sent.slice(count).some((command) => command.startsWith('go ')),
      before.length,
      { timeout: 10000 },
    )
    await page.waitForTimeout(300)
    const clicked = Date.now()
    await page.click('#review button:text("Cancel")')
    await page.waitForFunction(() => document.getElementById('review').dataset.review === 'cancelled', null, {
      timeout: 5000,
    })
    const cancelled = Date.now() - clicked
    await page.waitForTimeout(1500) // long enough for a further search to show
    const commands = (await sent(page)).slice(before.length)
    const stop = commands.indexOf('stop')
    expect(stop >= 0, `no stop was sent: ${commands.join(', ')}`)
    const searches = commands.filter((command) => command.startsWith('go '))
    expect(searches.length === 1, `${searches.length} searches were sent: ${commands.join(', ')}`)
    expect(!commands.slice(stop).some((command) => command.startsWith('go ')), 'a search was sent after the stop')
    const bestmoves = (await received(page)).filter((line) => line.startsWith('bestmove')).length
    expect(bestmoves >= bestmovesBefore + 1, 'the stopped search sent no bestmove')
    expect(cancelled < 1000, `the review took ${cancelled} ms to cancel`)
    const message = await page.textContent('#review .review-message')
    return `cancelled in ${cancelled} ms; "${message}"`
  })
}

async function whyChecks(page) {
  await check("the breakdown's rows add up to the engine's plain total", async () => {
    const totals = []
    for (const [name, fen] of EVAL_FENS) {
      await loadGame(page, fen)
      await page.waitForFunction(
        (fen) => document.getElementById('why').dataset.fen === fen,
        fen,
        { timeout: 8000 },
      )
      const shown = await page.$$eval('#why .why-table .why-row .why-net', (cells) => cells.map((cell) => cell.textContent))
      const total = await page.textContent('#why .why-total')
      const sum = shown.reduce((all, text) => all + centipawns(text), 0)
      const plain = await plainTotal(fen)
      expect(sum === plain, `${name}: the rows sum to ${sum}, the engine's eval says ${plain}`)
      expect(centipawns(total) === plain, `${name}: the total reads ${total}, the engine's eval says ${plain}`)
      totals.push(`${plain}`)
    }
    return `totals ${totals.join(', ')}`
  })
}

async function screenshots(browser, base, folder) {
  for (const [suffix, viewport] of [
    ['', { width: 1280, height: 800 }],
    ['-phone', { width: 390, height: 844 }],
  ]) {
    const errors = []
    const page = await openPage(browser, base, errors, viewport)
    await loadGame(page, OPERA_GAME)
    await startReview(page, '0.5 s a position') // the page's default strength
    await page.waitForFunction(() => document.getElementById('review').dataset.review === 'done', null, {
      timeout: 90000,
    })
    // 11. Bxb5+, the position of the game the pictures show.
    await clickGraph(page, 21 / 33)
    await page.waitForFunction(
      () => document.getElementById('why').dataset.fen === window.varnuPage.history().moves[20].fen,
      null,
      { timeout: 8000 },
    )
    // The player takes the side to move of a loaded game; the pictures face White.
    if (await page.evaluate(() => window.varnuPage.board.getOrientation() === 'b')) {
      await page.click('#flip')
      await page.waitForTimeout(1000) // the board's turning animation
    }
    // The board stays in the picture as far as the section lets it.
    const block = viewport.width > 600 ? 'end' : 'start'
    for (const id of ['review', 'why']) {
      await page.evaluate(([id, block]) => document.getElementById(id).scrollIntoView({ block }), [id, block])
      await page.waitForTimeout(300)
      await page.screenshot({ path: path.join(folder, `web-${id}${suffix}.png`) })
    }
    await page.close()
    expect(errors.length === 0, errors.join('; '))
    console.log(`saved web-review${suffix}.png and web-why${suffix}.png in ${folder}`)
  }
}

await fs.access(new URL('engine/varnu.wasm', webUrl)).catch(() => {
  console.log('FAIL the engine is not built: web/engine/varnu.wasm is missing')
  process.exit(1)
})

const shotsAt = process.argv.indexOf('--screenshots')
const server = await serve(webDir)
const base = `http://127.0.0.1:${server.address().port}`
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox'],
})
try {
  if (shotsAt >= 0) {
    await screenshots(browser, base, path.resolve(process.argv[shotsAt + 1] ?? '.'))
  } else {
    const errors = []
    const page = await openPage(browser, base, errors)
    await reviewChecks(page)
    await whyChecks(page)
    await check('the page logged no errors', async () => expect(errors.length === 0, errors.join('; ')))
    await page.close()
    console.log(`${results.passed} passed, ${results.failed} failed`)
  }
} catch (error) {
  console.log(`FAIL ${error.message.split('\n')[0]}`)
  results.failed++
} finally {
  await browser.close()
  server.close()
}
process.exit(results.failed ? 1 : 0)
