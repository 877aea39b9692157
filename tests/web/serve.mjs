// A small static server for the browser tests: web/ over HTTP on a free port of
// 127.0.0.1, with the types a browser needs for modules and WebAssembly.

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

// Resolves with the listening server; its address() gives the port.
export function serve(root) {
  const server = http.createServer(async (request, response) => {
    const { pathname } = new URL(request.url, 'http://localhost')
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
