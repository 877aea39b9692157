// Runs before the threaded engine's module (varnu-mt.js): connects its input and output to where
// it runs, as engine_glue.js does for the single-threaded one.
// - In a Web Worker (new Worker('varnu-mt.js')), every message posted to the worker is one input
//   line, and every output line is posted back as a message. varnu-mt.js?arg=bench runs the
//   benchmark. The page must be cross-origin isolated, since the threads share the module's
//   memory as a SharedArrayBuffer.
// - Under Node (node varnu-mt.js), the input is standard input and the output standard output.
// The engine's command loop runs on a thread of its own and waits there for lines: this thread
// hands each over to it (varnu_push_line in line_queue.cpp) once the module has started, and
// keeps those that come before. The module's output comes back to this thread, where it is
// printed.
//
// The search's threads load this file too, in workers of their own: they leave the messages and
// the input to Emscripten's code.

const varnuIsThread = Boolean(Module['ENVIRONMENT_IS_PTHREAD'])
const varnuInWorker = typeof importScripts === 'function'
const varnuInNode = typeof process === 'object' && typeof process.versions === 'object' &&
    typeof process.versions.node === 'string'

Module.varnuInput = {
  early: [],  // lines that came before the module started, then null
  ended: false,

  push(text) {
    if (this.early) this.early.push(text)
    else Module.ccall('varnu_push_line', null, ['string'], [text])
  },
  end() {
    if (this.early) this.ended = true
    else Module.ccall('varnu_end_input', null, [], [])
  },
  // The module has started: the lines kept until now go in, in order.
  started() {
    const early = this.early
    this.early = null
    for (const line of early) this.push(line)
    if (this.ended) this.end()
  },
}

if (!varnuIsThread) {
  Module.onRuntimeInitialized = () => Module.varnuInput.started()
  if (varnuInWorker) {
    Module.arguments = Array.from(new URLSearchParams(self.location.search).getAll('arg'))
    Module.print = (line) => postMessage(line)
    self.onmessage = (event) => {
      // A message may hold several lines; each is one command.
      for (const line of String(event.data).split('\n')) Module.varnuInput.push(line)
    }
  } else if (varnuInNode) {
    let partial = ''
    process.stdin.setEncoding('utf8')
    process.stdin.on('data', (chunk) => {
      const parts = (partial + chunk).split('\n')
      partial = parts.pop()
      for (const line of parts) Module.varnuInput.push(line)
    })
    process.stdin.on('end', () => {
      if (partial !== '') Module.varnuInput.push(partial)
      Module.varnuInput.end()
    })
  }
}
