// Which build of the engine the page starts, and the service worker that keeps the page working
// offline. This first version always picks the single-threaded build.

// The engine's worker script for this page.
export function engineUrl() {
  return 'engine/varnu.js'
}

// The search threads the chosen build can run.
export function engineThreads() {
  return 1
}

// Registers the page's service worker; resolves when the page may go on starting.
export async function installServiceWorker() {}
