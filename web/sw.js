// Varnu's service worker. It does two things for the page in its folder:
// - It makes the page cross-origin isolated on any static server: every same-origin response it
//   hands over carries Cross-Origin-Opener-Policy and Cross-Origin-Embedder-Policy, so that the
//   page and its engine worker get SharedArrayBuffer, which the threaded engine needs.
// - It keeps the page working offline: each same-origin file is fetched from the network first
//   and its copy kept in the cache, which answers when the network does not. Network first
//   rather than cache first, because the engine files are rebuilt under the same names: a page
//   served online always runs the files on the server, and no version number has to be raised in
//   this file when they change. The cost is a request per file on each load, answered by the
//   page's own server.

const CACHE = 'varnu-1' // a new name here drops the old copies when this worker takes over
// Kept at install, so that the engine works offline even if this load never started it: the
// threaded build while the page could not be isolated yet, the single-threaded one once it is.
const KEPT_AT_INSTALL = [
  './',
  'play.js',
  'play.css',
  'engine_loader.js',
  'manifest.webmanifest',
  'icons/varnu.svg',
  'icons/varnu-192.png',
  'icons/varnu-512.png',
  'engine/varnu.js',
  'engine/varnu.wasm',
  'engine/varnu-mt.js',
  'engine/varnu-mt.wasm',
  'engine/varnu-mt.worker.js',
]

const ISOLATION_HEADERS = {
  'Cross-Origin-Opener-Policy': 'same-origin',
  'Cross-Origin-Embedder-Policy': 'require-corp',
}

self.addEventListener('install', (event) => {
  // A file that is missing (the threaded build not made) is left out rather than failing the
  // install.
  const files = KEPT_AT_INSTALL.map((file) => new URL(file, self.registration.scope))
  event.waitUntil(Promise.all(files.map(keep)).then(() => self.skipWaiting()))
})

self.addEventListener('activate', (event) => {
  event.waitUntil(
    caches
      .keys()
      .then((names) => names.filter((name) => name !== CACHE))
      .then((old) => Promise.all(old.map((name) => caches.delete(name))))
      .then(() => self.clients.claim()),
  )
})

// The page lists the files its first load fetched before this worker controlled it.
self.addEventListener('message', (event) => {
  const files = event.data?.cache
  if (!Array.isArray(files)) return
  const own = files
    .map((file) => new URL(file, self.location.href))
    .filter((url) => url.origin === self.location.origin)
  const keepIfMissing = async (url) => (await caches.match(url)) || keep(url)
  event.waitUntil(Promise.all(own.map(keepIfMissing)))
})

self.addEventListener('fetch', (event) => {
  const request = event.request
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return
  event.respondWith(answer(event))
})

// The network's answer, a copy kept; the cache's when the network fails.
async function answer(event) {
  const request = event.request
  try {
    const response = await fetch(request)
    if (response.ok && response.type === 'basic') {
      const copy = response.clone()
      event.waitUntil(caches.open(CACHE).then((cache) => cache.put(request, copy)))
    }
    return isolate(response)
  } catch (error) {
    // The engine's worker may be started with arguments (varnu.js?arg=bench): the same file. Any
    // page of the folder opened offline is the page itself.
    const kept =
      (await caches.match(request)) ||
      (await caches.match(request, { ignoreSearch: true })) ||
      (request.mode === 'navigate' && (await caches.match(self.registration.scope)))
    if (!kept) throw error
    return isolate(kept)
  }
}

// Fetches the file into the cache; a failure only leaves it out.
async function keep(url) {
  try {
    const response = await fetch(url, { cache: 'no-cache' })
    if (response.ok) await (await caches.open(CACHE)).put(url, response)
  } catch {}
}

// The response with the isolation headers added. Opaque and redirected responses cannot be
// rebuilt and go as they are.
function isolate(response) {
  if (response.type !== 'basic' || response.redirected) return response
  const headers = new Headers(response.headers)
  for (const [name, value] of Object.entries(ISOLATION_HEADERS)) headers.set(name, value)
  const { status, statusText } = response
  return new Response(response.body, { status, statusText, headers })
}
