// Which build of the engine the page starts, and the service worker that makes the page
// cross-origin isolated and keeps it working offline (sw.js).
//
// The threaded build (engine/varnu-mt.js) shares its memory between its threads as a
// SharedArrayBuffer, which a browser gives only to a cross-origin isolated page. A plain static
// server does not send the headers for that; the service worker adds them, but only to the loads
// it controls, so the first visit reloads once when it is in place. Where there is no service
// worker (a page opened as a file, an old browser) or isolation still fails, the page runs the
// single-threaded build (engine/varnu.js).

// The build that runs everywhere, and the page's fallback when the threaded one fails to start.
export const SINGLE_URL = 'engine/varnu.js'
const THREADED_URL = 'engine/varnu-mt.js'
const THREADED_PROBE = new URL('engine/varnu-mt.worker.js', import.meta.url)
const MAX_THREADS = 4 // the threaded build makes workers in advance for four search threads
const RELOAD_MARK = 'varnu-isolation-reload' // sessionStorage: the reload has been tried
const READY_TIMEOUT_MS = 5000 // how long the page waits for its service worker to be active

let threadedPresent = false // the threaded build's files are on the server (or in the cache)

const isolated = () => self.crossOriginIsolated === true && typeof SharedArrayBuffer === 'function'

// The engine's worker script for this page.
export function engineUrl() {
  return isolated() && threadedPresent ? THREADED_URL : SINGLE_URL
}

// The search threads the chosen build can run.
export function engineThreads() {
  if (engineUrl() !== THREADED_URL) return 1
  return Math.max(1, Math.min(navigator.hardwareConcurrency || 1, MAX_THREADS))
}

// Registers the page's service worker; resolves when the page may go on starting, and never when
// the page reloads itself to become isolated.
export async function installServiceWorker() {
  const workers = self.navigator?.serviceWorker
  if (workers) {
    try {
      const folder = new URL('./', import.meta.url)
      await workers.register(new URL('sw.js', folder), { scope: folder.href })
      const registration = await Promise.race([
        workers.ready,
        new Promise((resolve) => setTimeout(() => resolve(null), READY_TIMEOUT_MS)),
      ])
      if (registration) {
        // This load's own files, fetched before the service worker ran, go into its cache too.
        const files = performance.getEntriesByType('resource').map((entry) => entry.name)
        registration.active?.postMessage({ cache: [location.href, ...files] })
        if (needsReload()) {
          sessionStorage.setItem(RELOAD_MARK, '1')
          location.reload()
          return new Promise(() => {})
        }
      }
    } catch (error) {
      console.warn(`the service worker is not in place (${error.message}): one search thread`)
    }
  }
  if (isolated()) {
    sessionStorage.removeItem(RELOAD_MARK)
    threadedPresent = await present(THREADED_PROBE)
  }
}

// A reload can make the page isolated: the browser knows isolation, this load is not isolated
// (it came before the service worker, or from an older one), and no reload has been tried since
// the last isolated load, so that a browser that will not isolate the page is not reloaded again
// and again.
function needsReload() {
  return 'crossOriginIsolated' in self && !isolated() && !sessionStorage.getItem(RELOAD_MARK)
}

async function present(url) {
  try {
    return (await fetch(url)).ok
  } catch {
    return false
  }
}
