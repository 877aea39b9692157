// The threaded engine in Debian's Chromium, on a page served by a plain static server that sends
// no isolation headers (Python's http.server): the page's service worker must make it
// cross-origin isolated, the page must then start the threaded build, the build must search with
// two threads, and its bench must count the native build's nodes.
//
//   node tests/web/threads_test.mjs
//
// Needs web/node_modules (npm ci in web/) and both builds in web/engine/. CHROMIUM names the
// browser (default /usr/bin/chromium); VARNU_BENCH_NODES the bench's node count (default
// 23173379, the native signature).

import { createRequire } from 'node:module'
import { fileURLToPath } from 'node:url'

import { checks, expect, servePython } from './harness.mjs'

const webUrl = new URL('../../web/', import.meta.url)
const { chromium } = createRequire(new URL('package.json', webUrl))('playwright-core')

const BENCH_NODES = Number(process.env.VARNU_BENCH_NODES || 23173379)
const DEPTH = 11 // a search of a second or two
const TOTAL_LINE = /^(\d+) nodes (\d+) nps$/

const results = checks('threads_test.mjs')
const { check } = results




// Waits through the page's one reload until it is isolated and its engine is ready.
async function pageReady(page) {
  const deadline = Date.now() + 40000
  for (;;) {
    const state = await page
      .evaluate(() => ({ isolated: self.crossOriginIsolated, engine: document.body?.dataset.engine }))
      .catch(() => ({}))
    if (state.engine && state.engine !== 'loading') return state
    if (Date.now() > deadline) throw new Error(`the page is still loading: ${JSON.stringify(state)}`)
    await new Promise((resolve) => setTimeout(resolve, 250))
  }
}

// Runs a UCI session in a new worker of the page: sends the commands and resolves with every line
// up to the first that passes the test.
const session = (page, url, commands, until) =>
  page.evaluate(
    ({ url, commands, until }) =>
      new Promise((resolve, reject) => {
        const lines = []
        const worker = new Worker(url)
        const timer = setTimeout(() => {
          worker.terminate()
          reject(new Error(`no "${until}" within 100 s; last: ${lines.at(-1)}`))
        }, 100000)
        worker.onmessage = (event) => {
          lines.push(String(event.data))
          if (new RegExp(until).test(event.data)) {
            clearTimeout(timer)
            worker.terminate()
            resolve(lines)
          }
        }
        worker.onerror = (event) => reject(new Error(`worker: ${event.message}`))
        for (const command of commands) worker.postMessage(command)
      }),
    { url, commands, until: until.source },
  )

// The node count and speed of the last "go depth" in a session's lines.
function searchTotals(lines) {
  const info = lines.filter((line) => / nodes \d+ nps \d+/.test(line)).at(-1) ?? ''
  return { nodes: Number(info.match(/ nodes (\d+)/)?.[1]), nps: Number(info.match(/ nps (\d+)/)?.[1]) }
}

async function run(browser, base) {
  const context = await browser.newContext()
  const page = await context.newPage()
  const errors = []
  page.on('pageerror', (error) => errors.push(error.message))
  await page.goto(`${base}/`)

  const ok = await check('the service worker makes the page isolated, and it starts the threaded build', async () => {
    const state = await pageReady(page)
    expect(state.isolated === true, 'the page is not cross-origin isolated')
    expect(state.engine === 'ready', `the engine is ${state.engine}`)
    const chosen = await page.evaluate(async () => {
      const loader = await import('./engine_loader.js')
      return { url: loader.engineUrl(), threads: loader.engineThreads() }
    })
    expect(chosen.url === 'engine/varnu-mt.js', `the page chose ${chosen.url}`)
    const option = (await page.evaluate(() => window.varnuPage.log)).find((line) => line.startsWith('option name Threads '))
    const max = Number(option?.match(/ max (\d+)/)?.[1])
    expect(max === (await page.evaluate(() => navigator.hardwareConcurrency)), `the engine offers ${option}`)
    return `${chosen.url}, ${chosen.threads} threads of at most ${max}`
  })
  if (!ok) return context.close()

  // A second thread changes the tree searched to a fixed depth, so the nodes differ from one
  // thread's, which the same position and table size always count alike; a second thread that
  // never ran would leave them equal.
  await check(`two threads search to depth ${DEPTH}`, async () => {
    const go = (threads) => [
      'uci',
      'setoption name Hash value 16',
      `setoption name Threads value ${threads}`,
      'ucinewgame',
      'position startpos',
      `go depth ${DEPTH}`,
    ]
    const one = searchTotals(await session(page, 'engine/varnu-mt.js', go(1), /^bestmove /))
    const two = searchTotals(await session(page, 'engine/varnu-mt.js', go(2), /^bestmove /))
    const again = searchTotals(await session(page, 'engine/varnu-mt.js', go(1), /^bestmove /))
    expect(one.nodes === again.nodes, `one thread counted ${one.nodes} then ${again.nodes} nodes`)
    expect(two.nodes && two.nodes !== one.nodes, `two threads counted the same ${two.nodes} nodes as one`)
    return `one thread ${one.nodes} nodes at ${one.nps} nps, two ${two.nodes} at ${two.nps} nps`
  })

  await check(`the threaded build's bench counts ${BENCH_NODES} nodes`, async () => {
    const lines = await session(page, 'engine/varnu-mt.js?arg=bench', [], TOTAL_LINE)
    const [, nodes, nps] = lines.at(-1).match(TOTAL_LINE)
    expect(Number(nodes) === BENCH_NODES, `${nodes} nodes, expected ${BENCH_NODES}`)
    return `${nps} nps`
  })

  await check('the page logged no errors', async () => expect(errors.length === 0, errors.join('; ')))
  await context.close()
}

const { server, base } = await servePython(fileURLToPath(webUrl))
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox'],
})
try {
  await run(browser, base)
  console.log(`${results.passed} passed, ${results.failed} failed`)
} catch (error) {
  console.log(`FAIL ${error.message.split('\n')[0]}`)
  results.failed++
} finally {
  await browser.close()
  server.kill()
}
process.exit(results.failed ? 1 : 0)
