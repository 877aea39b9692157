// The page offline in Debian's Chromium: it is loaded once from a plain static server (Python's
// http.server), the server is stopped, and the page is loaded again. Its service worker must
// answer every file from its cache, with the isolation headers, so that the engine starts and
// answers a move made on the board.
//
//   node tests/web/offline_test.mjs
//
// Needs web/node_modules (npm ci in web/) and the builds in web/engine/. CHROMIUM names the
// browser (default /usr/bin/chromium).

import { createRequire } from 'node:module'
import { fileURLToPath } from 'node:url'

import { expect, servePython } from './harness.mjs'

const webUrl = new URL('../../web/', import.meta.url)
const { chromium } = createRequire(new URL('package.json', webUrl))('playwright-core')



// Waits through the page's reloads until its engine has started (or failed to).
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

// Waits until the service worker's cache holds every file of the page's own origin that this
// load fetched, the engine's among them.
const cacheFilled = (page) =>
  page.waitForFunction(
    async () => {
      const files = performance.getEntriesByType('resource').map((entry) => entry.name)
      const own = files.filter((file) => new URL(file).origin === location.origin)
      own.push(location.href, new URL('engine/varnu-mt.wasm', location.href).href)
      const kept = await Promise.all(own.map((file) => caches.match(file)))
      return kept.every(Boolean)
    },
    null,
    { timeout: 20000, polling: 250 },
  )

async function clickSquare(page, square) {
  const box = await page.locator(`#board rect.square[data-square="${square}"]`).boundingBox()
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2)
}

const { server, base } = await servePython(fileURLToPath(webUrl))
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox'],
})
let status = 1
try {
  const context = await browser.newContext()
  const page = await context.newPage()
  const errors = []
  page.on('pageerror', (error) => errors.push(error.message))
  await page.goto(`${base}/`)
  const online = await pageReady(page)
  expect(online.engine === 'ready', `online, the engine is ${online.engine}`)
  await cacheFilled(page)
  console.log(`ok   the first visit fills the cache (isolated: ${online.isolated})`)

  server.kill()
  await new Promise((resolve) => server.on('exit', resolve))
  await page.reload()
  // Isolation comes only with the service worker's headers, so an isolated page came through it.
  const offline = await pageReady(page)
  expect(offline.engine === 'ready', `offline, the engine is ${offline.engine}`)
  expect(offline.isolated === online.isolated, 'the page was isolated online, not offline')
  await clickSquare(page, 'e2')
  await clickSquare(page, 'e4')
  await page.waitForFunction(() => window.varnuPage.game.history().length >= 2, null, { timeout: 20000 })
  const moves = await page.evaluate(() => window.varnuPage.game.history())
  expect(errors.length === 0, errors.join('; '))
  console.log(`ok   offline, the engine starts and answers 1. e4 with ${moves[1]}`)
  status = 0
} catch (error) {
  console.log(`FAIL ${error.message.split('\n')[0]}`)
} finally {
  await browser.close()
  server.kill()
}
process.exit(status)
