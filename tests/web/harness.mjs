// What the browser tests share: static servers for web/ (our own, and Python's plain one,
// which sends no isolation headers), and checks that print a line each and count the outcomes.

import { spawn } from 'node:child_process'
import fs from 'node:fs/promises'
import http from 'node:http'
import path from 'node:path'

const MIME = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.svg': 'image/svg+xml',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
  '.webmanifest': 'application/manifest+json',
  '.png': 'image/png',
}

// web/ over HTTP on a free port of 127.0.0.1, with the types a browser needs for modules and
// WebAssembly; pages maps further paths to HTML answered as it is. Resolves with the listening
// server; its address() gives the port.
export function serve(root, pages = {}) {
  const server = http.createServer(async (request, response) => {
    const { pathname } = new URL(request.url, 'http://localhost')
    if (Object.hasOwn(pages, pathname)) {
      response.writeHead(200, { 'content-type': MIME['.html'] })
      response.end(pages[pathname])
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

// Python's static server for the folder on a free port; resolves with the process and the
// page's address.
export function servePython(root) {
  const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '-d', root], {
    stdio: ['ignore', 'pipe', 'ignore'],
  })
  return new Promise((resolve, reject) => {
    server.on('error', reject)
    server.stdout.on('data', (data) => {
      const port = String(data).match(/port (\d+)/)?.[1]
      if (port) resolve({ server, base: `http://127.0.0.1:${port}` })
    })
  })
}

export function expect(condition, message) {
  if (!condition) throw new Error(message)
}

// The checks of one test file: check(name, run) runs one, prints its line and counts it, and
// says whether it passed; a failure names the line of that file it came from.
export function checks(file) {
  const results = { passed: 0, failed: 0 }
  const frame = new RegExp(`${file.replace('.', '\\.')}:(\\d+)`)
  results.check = async (name, run) => {
    const started = Date.now()
    try {
      const detail = await run()
      const seconds = ((Date.now() - started) / 1000).toFixed(1)
      console.log(`ok   ${name}${detail ? `: ${detail}` : ''} (${seconds} s)`)
      results.passed++
      return true
    } catch (error) {
      const where = (error.stack ?? '').match(frame)?.[1]
      console.log(`FAIL ${name}: ${error.message.split('\n')[0]}${where ? ` (line ${where})` : ''}`)
      results.failed++
      return false
    }
  }
  return results
}
