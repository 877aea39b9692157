// Plays Varnu's web page in Debian's Chromium: the page in web/ is served by a
// small static server, moves are made with the mouse on the board, and the
// page's level, take back, clock, analysis lines and PGN are tried the way a
// person would; the engine's bench runs in a worker and must count the same
// nodes as the native build.
//
//   node tests/web/browser_test.mjs                        the checks
//   node tests/web/browser_test.mjs --screenshots DIR      the pictures in docs/web.md
//
// Needs web/node_modules (npm ci in web/) and the engine built to web/engine/.
// CHROMIUM names the browser (default /usr/bin/chromium); VARNU_BENCH_NODES the
// bench's node count (default 23173379, the native signature).

import fs from 'node:fs/promises'
import path from 'node:path'
import { createRequire } from 'node:module'
import { fileURLToPath } from 'node:url'

import { checks, expect, serve } from './harness.mjs'

const webUrl = new URL('../../web/', import.meta.url)
const webDir = fileURLToPath(webUrl)
const { chromium } = createRequire(new URL('package.json', webUrl))('playwright-core')
const { Chess } = await import(new URL('node_modules/chess.js/dist/esm/chess.js', webUrl))

const BENCH_NODES = Number(process.env.VARNU_BENCH_NODES || 23173379)
const MOVETIME_MS = 1000 // the page's default engine time per move
const TOTAL_LINE = /^(\d+) nodes (\d+) nps$/

const BLANK_PATH = '/__blank__' // a page of the server's origin for workers started by hand
const BLANK_PAGE = '<!doctype html><title>blank</title><link rel="icon" href="data:,">'

// Each check prints one line; a failed one stops the checks that build on it.
const results = checks('browser_test.mjs')
const { check } = results


// Clicks the middle of a square as the player would, whichever way the board faces.
async function clickSquare(page, square) {
  const target = page.locator(`#board rect.square[data-square="${square}"]`)
  await target.scrollIntoViewIfNeeded()
  const box = await target.boundingBox()
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2)
}

async function dragPiece(page, from, to) {
  const a = await page.locator(`#board rect.square[data-square="${from}"]`).boundingBox()
  const b = await page.locator(`#board rect.square[data-square="${to}"]`).boundingBox()
  await page.mouse.move(a.x + a.width / 2, a.y + a.height / 2)
  await page.mouse.down()
  await page.mouse.move(b.x + b.width / 2, b.y + b.height / 2, { steps: 8 })
  await page.mouse.up()
}

const pageState = (page) =>
  page.evaluate(() => ({
    history: window.varnuPage.game.history(),
    fen: window.varnuPage.game.fen(),
    plies: window.varnuPage.record.moves.length,
    shown: window.varnuPage.board.getPosition(),
    log: [...window.varnuPage.log],
    sent: [...window.varnuPage.engine.sent],
    search: document.body.dataset.search,
    status: document.getElementById('status').textContent,
    score: document.getElementById('analysis-score').textContent,
    line: document.querySelector('#analysis-lines .line-san')?.textContent ?? '',
  }))

const bestmoves = (log) => log.filter((line) => line.startsWith('bestmove'))

// Plays the SAN line shown by the page from the given position; throws at a move that is not legal.
function playSanLine(fen, line) {
  const chess = new Chess(fen)
  const sans = line.split(/\s+/).filter((word) => word && !/^\d+\.(\.\.|…)?$/.test(word))
  for (const san of sans) chess.move(san)
  return sans.length
}

// Files of other parts of the page that may not be there yet; the page plays without them.
const OPTIONAL_FILES = /\/(review\.js|why\.js|manifest\.webmanifest)$/

async function openGame(browser, base, errors, viewport = { width: 900, height: 560 }) {
  const page = await browser.newPage({ viewport })
  page.on('console', (message) => {
    if (message.type() === 'error' && !OPTIONAL_FILES.test(message.location().url ?? '')) {
      errors.push(`console: ${message.text()} (${message.location().url})`)
    }
  })
  page.on('pageerror', (error) => errors.push(`page error: ${error.message}`))
  page.on('response', (response) => {
    if (response.status() >= 400 && !OPTIONAL_FILES.test(new URL(response.url()).pathname)) {
      errors.push(`HTTP ${response.status()} for ${response.url()}`)
    }
  })
  await page.goto(`${base}/`)
  return page
}

const engineStarted = (page) =>
  page.waitForFunction(() => document.body.dataset.engine !== 'loading', null, { timeout: 30000 })

// Waits until the game holds the plies and the engine rests.
async function gameReaches(page, plies, timeout = MOVETIME_MS + 15000) {
  try {
    await page.waitForFunction(
      (count) => window.varnuPage.record.moves.length >= count && document.body.dataset.search === 'idle',
      plies,
      { timeout },
    )
  } catch (error) {
    const { history, plies: held, status } = await pageState(page)
    throw new Error(`the game did not reach ${plies} plies: it holds ${held}, shows ${history.join(' ')}; "${status}"`)
  }
}

// Plays a move of the player's with two clicks in the position shown and waits for the engine's
// reply; a move in an older position cuts the game off there.
async function playAndAnswer(page, uci) {
  const { history } = await pageState(page)
  await clickSquare(page, uci.slice(0, 2))
  await clickSquare(page, uci.slice(2, 4))
  await gameReaches(page, history.length + 2)
}

// Plays the first of the moves that is legal in the position shown, as playAndAnswer does.
async function playOneOf(page, wishes) {
  const legal = await page.evaluate(() => window.varnuPage.game.moves({ verbose: true }).map((move) => move.lan))
  const move = wishes.find((wish) => legal.includes(wish))
  expect(move, `none of ${wishes} is legal`)
  await playAndAnswer(page, move)
  return move
}

// The commands sent since the given count, for what the page asked around one search.
const sentSince = async (page, count) => (await pageState(page)).sent.slice(count)

// The score shown for a line as a number from White's side; a mate counts as a large one.
function scoreValue(text) {
  const mate = text.match(/^(White|Black) mates in (\d+)$/)
  if (mate) return (mate[1] === 'White' ? 1 : -1) * (1000 - Number(mate[2]))
  return Number(text)
}

async function pageChecks(browser, base) {
  const errors = []
  const page = await openGame(browser, base, errors)

  const ok =
    (await check('the page loads and the engine answers the UCI handshake', async () => {
      await engineStarted(page)
      const { log, sent } = await pageState(page)
      expect(await page.title() === 'Varnu', `title is "${await page.title()}"`)
      expect(await page.evaluate(() => document.body.dataset.engine) === 'ready', `engine state: ${await page.textContent('#status')}`)
      expect(log.includes('uciok') && log.includes('readyok'), `uciok or readyok missing from ${JSON.stringify(log.slice(-5))}`)
      // Threads is set only for the threaded build, to the count engine_loader.js gives.
      const opening = sent.slice(0, sent.indexOf('isready') + 1).join('|')
      const expected = /^uci\|setoption name Hash value 32\|setoption name UCI_ShowWDL value true\|(setoption name Threads value ([2-9]|\d\d+)\|)?isready$/
      expect(expected.test(opening), `the page sent ${opening}`)
      return log.find((line) => line.startsWith('id name')) ?? 'no id name line'
    })) &&
    (await check('a move made on the board gets a legal reply from the engine', async () => {
      await clickSquare(page, 'e2')
      await clickSquare(page, 'e4')
      await gameReaches(page, 2)
      await page.waitForTimeout(400) // the board's move animation
      const { history, fen, shown, log, sent } = await pageState(page)
      expect(history.length === 2 && history[0] === 'e4', `the game holds ${JSON.stringify(history)}`)
      expect(sent.includes('position startpos moves e2e4'), 'no position command with e2e4 was sent')
      const reply = bestmoves(log).at(-1).split(/\s+/)[1]
      const legal = new Chess()
      legal.move('e4')
      const move = legal.moves({ verbose: true }).find((candidate) => candidate.lan === reply)
      expect(move, `the engine's bestmove ${reply} is not legal after 1. e4`)
      expect(history[1] === move.san, `the page played ${history[1]}, the engine said ${reply}`)
      expect(shown === fen.split(' ')[0], `the board shows ${shown}, the game is at ${fen}`)
      const listed = await page.textContent('#moves')
      expect(listed.includes(move.san), `the moves list reads "${listed}"`)
      return `1. e4 ${move.san}`
    })) &&
    (await check('analysis shows a score and a line, and stops', async () => {
      const before = await pageState(page)
      await page.click('#analyse')
      await page.waitForFunction(
        () =>
          document.body.dataset.search === 'analysis' &&
          document.querySelector('#analysis-lines .line-san')?.textContent.trim() &&
          document.getElementById('analysis-score').textContent !== '–',
        null,
        { timeout: 8000 },
      )
      await page.waitForTimeout(1000)
      const during = await pageState(page)
      expect(/^([+-]?\d+\.\d\d|(White|Black) mates in \d+)$/.test(during.score), `score reads "${during.score}"`)
      const plies = playSanLine(during.fen, during.line)
      expect(during.sent.at(-1) === 'go infinite', `the last command was ${during.sent.at(-1)}`)

      await page.click('#analyse')
      await page.waitForFunction(() => document.body.dataset.search === 'idle', null, { timeout: 5000 })
      const after = await pageState(page)
      expect(after.sent.at(-1) === 'stop', `the last command was ${after.sent.at(-1)}`)
      expect(
        bestmoves(after.log).length === bestmoves(before.log).length + 1,
        'the stopped analysis did not answer with one bestmove',
      )
      expect(after.history.length === 2, `the analysis' bestmove was played: ${JSON.stringify(after.history)}`)
      return `${during.score}, ${plies} plies: ${during.line}`
    })) &&
    (await check('three analysis lines come best first, with the odds, the bar and the arrow', async () => {
      await page.selectOption('#multipv', '3')
      await page.click('#analyse')
      // Read the page at a moment when all three lines are of one depth.
      const shown = await (
        await page.waitForFunction(
          () => {
            const lines = window.varnuPage.state.lines
            if (lines.length !== 3 || lines.some((line) => !line || line.depth !== lines[0].depth)) return null
            if (Number(lines[0].depth) < 6) return null
            return {
              scores: [...document.querySelectorAll('#analysis-lines .line-score')].map((item) => item.textContent),
              sans: [...document.querySelectorAll('#analysis-lines .line-san')].map((item) => item.textContent),
              wdl: document.getElementById('wdl').textContent,
              bar: document.getElementById('eval-white').style.height,
              arrows: [...document.querySelectorAll('#board [data-arrow]')].map((arrow) => arrow.dataset.arrow),
              fen: window.varnuPage.game.fen(),
            }
          },
          null,
          { timeout: 15000, polling: 50 },
        )
      ).jsonValue()
      const { sent } = await pageState(page)
      await page.click('#analyse')
      await page.waitForFunction(() => document.body.dataset.search === 'idle', null, { timeout: 5000 })

      expect(sent.includes('setoption name MultiPV value 3'), 'MultiPV 3 was not sent')
      expect(shown.scores.length === 3 && shown.sans.length === 3, `the page shows ${shown.sans.length} lines`)
      const values = shown.scores.map(scoreValue)
      // White is to move, so White's view is the mover's: the best line has the highest score.
      expect(values[0] >= values[1] && values[1] >= values[2], `the scores ${shown.scores.join(', ')} are not best first`)
      const firsts = shown.sans.map((san) => san.split(/\s+/)[1])
      expect(new Set(firsts).size === 3, `the lines do not start with three moves: ${firsts.join(', ')}`)
      shown.sans.forEach((san) => playSanLine(shown.fen, san))
      const wdl = shown.wdl.match(/^W (\d+)% · D (\d+)% · L (\d+)%$/)
      expect(wdl, `the odds read "${shown.wdl}"`)
      const sum = Number(wdl[1]) + Number(wdl[2]) + Number(wdl[3])
      expect(sum >= 99 && sum <= 101, `the odds add up to ${sum}%`)
      const share = parseFloat(shown.bar)
      expect(share > 0 && share < 100, `the bar stands at ${shown.bar}`)
      const best = new Chess(shown.fen).move(firsts[0]).lan.slice(0, 4)
      expect(shown.arrows.length === 1 && shown.arrows[0] === best, `arrows ${shown.arrows} for the best move ${best}`)
      await page.selectOption('#multipv', '1')
      return `${shown.scores.join(', ')}; ${shown.wdl}; arrow ${best}`
    })) &&
    (await check('a level chosen reaches the engine, and full strength comes back', async () => {
      const levels = await page.$$eval('#level option', (options) => options.map((option) => option.value))
      expect(levels[0] === 'full' && levels.includes('1000') && levels.includes('1900'), `the levels are ${levels}`)
      await page.selectOption('#level', '1000')
      let count = (await pageState(page)).sent.length
      await playOneOf(page, ['g1f3', 'd2d3', 'a2a3', 'h2h3'])
      const weak = await sentSince(page, count)
      const goAt = weak.findIndex((command) => command.startsWith('go '))
      const before = weak.slice(0, goAt)
      expect(
        before.includes('setoption name UCI_Elo value 1000') && before.includes('setoption name UCI_LimitStrength value true'),
        `before its search the page sent ${JSON.stringify(before)}`,
      )
      // At 1000 the engine stops after a few hundred nodes, a few plies deep; at full strength
      // a second goes far deeper. (Depth, not nodes: the threaded build's first lines count
      // the nodes of the search before.)
      const depthOfLastSearch = (log) => {
        const end = log.findLastIndex((line) => line.startsWith('bestmove'))
        const start = log.slice(0, end).findLastIndex((line) => line.startsWith('bestmove'))
        const depths = log.slice(start + 1, end).map((line) => Number(line.match(/^info depth (\d+)/)?.[1] ?? 0))
        return Math.max(...depths)
      }
      const weakDepth = depthOfLastSearch((await pageState(page)).log)
      expect(weakDepth <= 5, `at Elo 1000 the engine searched to depth ${weakDepth}`)

      await page.selectOption('#level', 'full')
      count = (await pageState(page)).sent.length
      await playOneOf(page, ['b1c3', 'd2d3', 'a2a3', 'h2h3'])
      const full = await sentSince(page, count)
      expect(full.includes('setoption name UCI_LimitStrength value false'), `full strength sent ${JSON.stringify(full)}`)
      const fullDepth = depthOfLastSearch((await pageState(page)).log)
      expect(fullDepth >= weakDepth + 3, `full strength searched to depth ${fullDepth}, Elo 1000 to ${weakDepth}`)
      const pgn = await page.evaluate(() => window.varnuPage.pgn())
      expect(pgn.includes('[Black "Varnu"]'), `the PGN names ${pgn.match(/\[Black .*\]/)}`)
      return `depth ${weakDepth} at Elo 1000, ${fullDepth} at full strength`
    })) &&
    (await check("take back returns the player's turn, on the engine's turn too", async () => {
      const start = await pageState(page)
      expect(start.plies === 6 && start.search === 'idle', `the game has ${start.plies} plies, search ${start.search}`)
      const fenAt = (plies) => page.evaluate((n) => window.varnuPage.history().moves[n - 1].fen, plies)
      const expected = await fenAt(4)
      await page.click('#takeback')
      let now = await pageState(page)
      expect(now.plies === 4 && now.fen === expected, `after take back: ${now.plies} plies, ${now.fen}`)
      expect(now.fen.split(' ')[1] === 'w' && now.search === 'idle', `the turn is ${now.fen.split(' ')[1]}, search ${now.search}`)

      // While the engine thinks, take back undoes the player's move alone and stops the search.
      await page.selectOption('#movetime', '3000')
      const legal = await page.evaluate(() => window.varnuPage.game.moves({ verbose: true }).map((move) => move.lan))
      const move = ['d2d4', 'd2d3', 'a2a3', 'h2h3'].find((wish) => legal.includes(wish))
      await clickSquare(page, move.slice(0, 2))
      await clickSquare(page, move.slice(2, 4))
      await page.waitForFunction(() => document.body.dataset.search === 'move', null, { timeout: 5000 })
      const thinking = await pageState(page)
      await page.click('#takeback')
      await page.waitForTimeout(500)
      now = await pageState(page)
      expect(now.plies === 4 && now.fen === expected, `after take back on the engine's turn: ${now.plies} plies`)
      const since = now.sent.slice(thinking.sent.length)
      expect(since.includes('stop') && now.search === 'idle', `sent ${JSON.stringify(since)}, search ${now.search}`)
      expect(bestmoves(now.log).length > bestmoves(thinking.log).length, "the engine's search did not end")
      expect(/^Your move/.test(now.status), `the status reads "${now.status}"`)
      await page.selectOption('#movetime', String(MOVETIME_MS))
      return `${start.plies} plies to 4, twice`
    })) &&
    (await check('a clock ticks, the engine searches on it, and a flag fall ends the game', async () => {
      await page.selectOption('#clock', '1+0')
      await page.click('#new-game')
      const count = (await pageState(page)).sent.length
      await playAndAnswer(page, 'e2e4')
      const sent = await sentSince(page, count)
      const go = sent.find((command) => command.startsWith('go '))
      const times = go?.match(/^go wtime (\d+) btime (\d+) winc 0 binc 0$/)
      // The clocks start with the first move, so White's first one is free.
      expect(times && Number(times[1]) === 60000 && Number(times[2]) < 60000, `the engine was sent "${go}"`)
      const ticks = () => page.$$eval('.clock-time', (items) => items.map((item) => item.textContent))
      const first = await ticks()
      await page.waitForTimeout(1200)
      const later = await ticks()
      expect(first[1] !== later[1] && first[0] === later[0], `the clocks read ${first} then ${later}`)
      await page.evaluate(() => (window.varnuPage.state.time.w = 150))
      await page.waitForFunction(() => document.querySelector('#moves .result')?.textContent === '0-1', null, {
        timeout: 3000,
      })
      const { status } = await pageState(page)
      expect(status.startsWith('Time: White lost on time'), `the status reads "${status}"`)
      await page.selectOption('#clock', '')
      return `${go}; ${status}`
    })) &&
    (await check('a PGN pasted and exported round-trips, with the review\'s marks; walking and a FEN start', async () => {
      const pgn = [
        '[Event "Club night"]',
        '[Site "Oslo NOR"]',
        '[Date "2024.03.09"]',
        '[Round "4"]',
        '[White "Ann, A."]',
        '[Black "Bø Berg"]',
        '[Result "*"]',
        '[ECO "C50"]',
        '',
        '1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. O-O Nf6 5. d3 d6 *',
        '',
      ].join('\n')
      await page.click('#games summary')
      await page.fill('#game-text', pgn)
      await page.click('#game-load')
      await page.waitForFunction(() => /^Your move/.test(document.getElementById('status').textContent))
      const loaded = await pageState(page)
      expect(loaded.plies === 10 && loaded.search === 'idle', `loaded ${loaded.plies} plies, search ${loaded.search}: ${await page.textContent('#game-message')}`)
      expect(/^Your move \(White\)/.test(loaded.status), `the status reads "${loaded.status}"`)

      const [download] = await Promise.all([page.waitForEvent('download'), page.click('#pgn-download')])
      const exported = await fs.readFile(await download.path(), 'utf8')
      const original = new Chess()
      original.loadPgn(pgn)
      const again = new Chess()
      again.loadPgn(exported)
      expect(
        JSON.stringify(again.getHeaders()) === JSON.stringify(original.getHeaders()),
        `headers ${JSON.stringify(again.getHeaders())}`,
      )
      expect(again.history().join(' ') === original.history().join(' '), `moves ${again.history().join(' ')}`)

      await page.evaluate(() => {
        window.varnuPage.annotations[3] = { eval: '-0.35', mark: 'mistake', better: 'd4' }
        window.varnuPage.annotations[4] = { eval: '#-2', mark: null, better: null }
        window.varnuPage.annotationsChanged()
      })
      const marked = await page.evaluate(() => window.varnuPage.pgn())
      expect(marked.includes('2. Nf3 $2 {[%eval -0.35]} 2... Nc6 {[%eval #-2]} 3. Bc4'), `marked PGN: ${marked}`)
      expect((await page.textContent('#moves')).includes('Nf3?'), 'the move list shows no mark')

      // Walking back shows the old position; a move played there cuts the game off.
      await page.keyboard.press('ArrowLeft')
      await page.keyboard.press('ArrowLeft')
      await page.click('#moves .ply[data-ply="7"]')
      await page.waitForTimeout(300)
      let now = await pageState(page)
      expect(now.plies === 10 && now.history.length === 7, `showing ${now.history.length} of ${now.plies} plies`)
      expect(now.shown === original.history({ verbose: true })[6].after.split(' ')[0], `the board shows ${now.shown}`)
      await page.keyboard.press('ArrowLeft')
      now = await pageState(page)
      expect(now.history.length === 6 && now.fen.split(' ')[1] === 'w', `after the key: ${now.history.length} plies`)
      await playAndAnswer(page, 'c2c3')
      now = await pageState(page)
      expect(now.plies === 8 && now.history[6] === 'c3', `after the move: ${now.history.join(' ')}`)

      // Two flips in a row turn the board back: the board drops a turn asked for while it turns.
      await page.keyboard.press('f')
      await page.keyboard.press('f')
      await page.waitForTimeout(1000)
      const facing = await page.evaluate(() => window.varnuPage.board.getOrientation())
      expect(facing === 'w', `after two flips the board has ${facing} at the bottom`)

      await page.fill('#game-text', '8/8/8/8/8/8/8/8 w - - 0 1')
      await page.click('#game-load')
      const rejected = await page.textContent('#game-message')
      expect(/^Not a valid FEN/.test(rejected), `an empty board gave "${rejected}"`)
      const fen = '6k1/5ppp/8/8/8/8/5PPP/3R2K1 b - - 3 30'
      const count = (await pageState(page)).sent.length
      await page.fill('#game-text', fen)
      await page.click('#game-load')
      await page.waitForTimeout(400) // the board turns to Black's side
      await playAndAnswer(page, 'g8f8')
      const fenGame = await page.evaluate(() => window.varnuPage.pgn())
      const sent = await sentSince(page, count)
      expect(sent.includes(`position fen ${fen} moves g8f8`), `sent ${JSON.stringify(sent)}`)
      expect(fenGame.includes('[SetUp "1"]') && fenGame.includes(`[FEN "${fen}"]`), `FEN game: ${fenGame}`)
      expect(/\n30\.\.\. Kf8 31\. /.test(fenGame), `FEN game moves: ${fenGame}`)
      return `${again.history().length} plies and ${Object.keys(again.getHeaders()).length} tags`
    }))

  await check('the page logged no errors', async () => {
    expect(errors.length === 0, errors.join('; '))
  })
  await page.close()
  return ok
}

async function benchCheck(browser, base) {
  await check(`the bench in a worker counts ${BENCH_NODES} nodes as the native build does`, async () => {
    const page = await browser.newPage()
    const errors = []
    page.on('pageerror', (error) => errors.push(error.message))
    await page.goto(`${base}${BLANK_PATH}`)
    const lines = await Promise.race([
      page.evaluate(
        (pattern) =>
          new Promise((resolve, reject) => {
            const lines = []
            const worker = new Worker('/engine/varnu.js?arg=bench')
            worker.onmessage = (event) => {
              lines.push(String(event.data))
              if (new RegExp(pattern).test(event.data)) {
                worker.terminate()
                resolve(lines)
              }
            }
            worker.onerror = (event) => reject(new Error(`worker: ${event.message}`))
          }),
        TOTAL_LINE.source,
      ),
      new Promise((resolve, reject) => setTimeout(() => reject(new Error('no total line within 100 s')), 100000)),
    ])
    await page.close()
    const [, nodes, nps] = lines.at(-1).match(TOTAL_LINE)
    const summary = lines.find((line) => /^depth \d+, \d+ positions/.test(line)) ?? ''
    console.log(`     browser bench: ${nodes} nodes, ${nps} nps (${summary})`)
    expect(errors.length === 0, errors.join('; '))
    expect(Number(nodes) === BENCH_NODES, `${nodes} nodes, expected ${BENCH_NODES}`)
    return `${nps} nps`
  })
}

// The pictures in docs/web.md: a game in play and its analysis, on a desktop and a phone.
async function screenshots(browser, base, dir) {
  for (const [suffix, viewport] of [
    ['', { width: 1280, height: 800 }],
    ['-phone', { width: 390, height: 844 }],
  ]) {
    const errors = []
    const page = await openGame(browser, base, errors, viewport)
    await engineStarted(page)
    await page.selectOption('#level', '1500')
    await page.selectOption('#clock', '1+0') // the engine's moves come within a few seconds
    const wishes = ['e2e4', 'g1f3', 'b1c3', 'f1e2', 'e1g1', 'd2d3', 'h2h3', 'a2a3']
    for (let turn = 0; turn < 5; turn++) {
      const legal = await page.evaluate(() => window.varnuPage.game.moves({ verbose: true }).map((move) => move.lan))
      const move = wishes.find((wish) => legal.includes(wish)) ?? legal[0]
      const { plies } = await pageState(page)
      if (turn % 2) await dragPiece(page, move.slice(0, 2), move.slice(2, 4))
      else {
        await clickSquare(page, move.slice(0, 2))
        await clickSquare(page, move.slice(2, 4))
      }
      await gameReaches(page, plies + 2, 30000)
    }
    await page.waitForTimeout(500)
    await page.evaluate(() => window.scrollTo(0, 0))
    await page.screenshot({ path: path.join(dir, `web-play${suffix}.png`) })

    await page.selectOption('#multipv', '3')
    await page.click('#analyse')
    await page.waitForFunction(
      () => window.varnuPage.state.lines.length === 3 && Number(window.varnuPage.state.lines[0].depth) >= 8,
      null,
      { timeout: 40000 },
    )
    await page.waitForTimeout(500)
    await page.evaluate(() => window.scrollTo(0, 0))
    await page.screenshot({ path: path.join(dir, `web-analysis${suffix}.png`) })
    await page.close()
    expect(errors.length === 0, errors.join('; '))
    console.log(`saved ${dir}/web-play${suffix}.png and web-analysis${suffix}.png`)
  }
}

const screenshotAt = process.argv.indexOf('--screenshots')
await fs.access(new URL('engine/varnu.wasm', webUrl)).catch(() => {
  console.log('FAIL the engine is not built: web/engine/varnu.wasm is missing')
  process.exit(1)
})

const server = await serve(webDir, { [BLANK_PATH]: BLANK_PAGE })
const base = `http://127.0.0.1:${server.address().port}`
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox'],
})
try {
  if (screenshotAt >= 0) {
    await screenshots(browser, base, path.resolve(process.argv[screenshotAt + 1] ?? '.'))
  } else {
    await pageChecks(browser, base)
    await benchCheck(browser, base)
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
