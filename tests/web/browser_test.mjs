// Plays Varnu's web page in Debian's Chromium: the page in web/ is served by a
// small static server, a move is made with the mouse on the board, analysis is
// turned on and off, and the engine's bench runs in a worker and must count
// the same nodes as the native build.
//
//   node tests/web/browser_test.mjs                       the checks
//   node tests/web/browser_test.mjs --screenshot FILE     a picture of a game in play
//
// Needs web/node_modules (npm ci in web/) and the engine built to web/engine/.
// CHROMIUM names the browser (default /usr/bin/chromium); VARNU_BENCH_NODES the
// bench's node count (default 23173379, the native signature).

import fs from 'node:fs/promises'
import http from 'node:http'
import path from 'node:path'
import { createRequire } from 'node:module'
import { fileURLToPath } from 'node:url'

const webUrl = new URL('../../web/', import.meta.url)
const webDir = fileURLToPath(webUrl)
const { chromium } = createRequire(new URL('package.json', webUrl))('playwright-core')
const { Chess } = await import(new URL('node_modules/chess.js/dist/esm/chess.js', webUrl))

const BENCH_NODES = Number(process.env.VARNU_BENCH_NODES || 23173379)
const MOVETIME_MS = 1000 // the page's default engine time per move
const TOTAL_LINE = /^(\d+) nodes (\d+) nps$/

const MIME = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.svg': 'image/svg+xml',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
  '.png': 'image/png',
}
const BLANK_PATH = '/__blank__' // a page of the server's origin for workers started by hand

function serve(root) {
  const server = http.createServer(async (request, response) => {
    const { pathname } = new URL(request.url, 'http://localhost')
    if (pathname === BLANK_PATH) {
      response.writeHead(200, { 'content-type': MIME['.html'] })
      response.end('<!doctype html><title>blank</title><link rel="icon" href="data:,">')
      return
    }
    let file = path.join(root, decodeURIComponent(pathname))
    if (pathname.endsWith('/')) file = path.join(file, 'index.html')
    if (!file.startsWith(root)) {
      response.writeHead(403).end()
      return
    }
    try {
      const body = await fs.readFile(file)
      const type = MIME[path.extname(file)] ?? 'application/octet-stream'
      response.writeHead(200, { 'content-type': type, 'cache-control': 'no-store' })
      response.end(body)
    } catch {
      response.writeHead(404).end()
    }
  })
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)))
}

// Each check prints one line; a failed one stops the checks that build on it.
let passed = 0
let failed = 0
async function check(name, run) {
  const started = Date.now()
  try {
    const detail = await run()
    const seconds = ((Date.now() - started) / 1000).toFixed(1)
    console.log(`ok   ${name}${detail ? `: ${detail}` : ''} (${seconds} s)`)
    passed++
    return true
  } catch (error) {
    console.log(`FAIL ${name}: ${error.message.split('\n')[0]}`)
    failed++
    return false
  }
}

function expect(condition, message) {
  if (!condition) throw new Error(message)
}

// Clicks the middle of a square as the player would, whichever way the board faces.
async function clickSquare(page, square) {
  const box = await page.locator(`#board rect.square[data-square="${square}"]`).boundingBox()
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
    shown: window.varnuPage.board.getPosition(),
    log: [...window.varnuPage.log],
    sent: [...window.varnuPage.engine.sent],
    search: document.body.dataset.search,
    score: document.getElementById('analysis-score').textContent,
    line: document.getElementById('analysis-line').textContent,
  }))

const bestmoves = (log) => log.filter((line) => line.startsWith('bestmove'))

// Plays the SAN line shown by the page from the given position; throws at a move that is not legal.
function playSanLine(fen, line) {
  const chess = new Chess(fen)
  const sans = line.split(/\s+/).filter((word) => word && !/^\d+\.(\.\.|…)?$/.test(word))
  for (const san of sans) chess.move(san)
  return sans.length
}

async function openGame(browser, base, errors) {
  const page = await browser.newPage({ viewport: { width: 900, height: 560 } })
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(`console: ${message.text()}`)
  })
  page.on('pageerror', (error) => errors.push(`page error: ${error.message}`))
  page.on('response', (response) => {
    if (response.status() >= 400) errors.push(`HTTP ${response.status()} for ${response.url()}`)
  })
  await page.goto(`${base}/`)
  return page
}

const engineStarted = (page) =>
  page.waitForFunction(() => document.body.dataset.engine !== 'loading', null, { timeout: 30000 })

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
      expect(
        sent.slice(0, 3).join('|') === 'uci|setoption name Hash value 32|isready',
        `the page sent ${JSON.stringify(sent.slice(0, 3))}`,
      )
      return log.find((line) => line.startsWith('id name')) ?? 'no id name line'
    })) &&
    (await check('a move made on the board gets a legal reply from the engine', async () => {
      await clickSquare(page, 'e2')
      await clickSquare(page, 'e4')
      await page.waitForFunction(() => window.varnuPage.game.history().length >= 2, null, {
        timeout: MOVETIME_MS + 15000,
      })
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
          document.getElementById('analysis-line').textContent.trim() !== '' &&
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

// Plays a few opening moves through the board, turns analysis on and takes a picture.
async function screenshot(browser, base, file) {
  const errors = []
  const page = await openGame(browser, base, errors)
  await engineStarted(page)
  const wishes = ['e2e4', 'g1f3', 'f1c4', 'd2d3', 'b1c3', 'e1g1', 'c2c3', 'h2h3', 'a2a3']
  for (let turn = 0; turn < 4; turn++) {
    const legal = await page.evaluate(() => window.varnuPage.game.moves({ verbose: true }).map((move) => move.lan))
    const move = wishes.find((wish) => legal.includes(wish)) ?? legal[0]
    const plies = (await pageState(page)).history.length
    if (turn % 2) await dragPiece(page, move.slice(0, 2), move.slice(2, 4))
    else {
      await clickSquare(page, move.slice(0, 2))
      await clickSquare(page, move.slice(2, 4))
    }
    await page.waitForFunction((count) => window.varnuPage.game.history().length >= count + 2, plies, {
      timeout: MOVETIME_MS + 15000,
    })
  }
  await page.click('#analyse')
  await page.waitForFunction(
    () => document.getElementById('analysis-line').textContent.split(/\s+/).length >= 8,
    null,
    { timeout: 15000 },
  )
  await page.waitForTimeout(2500)
  await page.screenshot({ path: file })
  await page.close()
  expect(errors.length === 0, errors.join('; '))
  console.log(`saved ${file}`)
}

const screenshotAt = process.argv.indexOf('--screenshot')
await fs.access(new URL('engine/varnu.wasm', webUrl)).catch(() => {
  console.log('FAIL the engine is not built: web/engine/varnu.wasm is missing')
  process.exit(1)
})

const server = await serve(webDir)
const base = `http://127.0.0.1:${server.address().port}`
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox'],
})
try {
  if (screenshotAt >= 0) {
    await screenshot(browser, base, path.resolve(process.argv[screenshotAt + 1] ?? 'web-page.png'))
  } else {
    await pageChecks(browser, base)
    await benchCheck(browser, base)
    console.log(`${passed} passed, ${failed} failed`)
  }
} catch (error) {
  console.log(`FAIL ${error.message.split('\n')[0]}`)
  failed++
} finally {
  await browser.close()
  server.close()
}
process.exit(failed ? 1 : 0)
