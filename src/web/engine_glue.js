// Runs before the engine's module: connects its input and output to where it runs.
// - In a Web Worker (new Worker('varnu.js')), every message posted to the worker is one input
//   line, and every output line is posted back as a message. Arguments come from the worker
//   script's address: varnu.js?arg=bench runs the benchmark.
// - Under Node (node varnu.js), the input is standard input and the output standard output.
// The engine reads the lines from Module.varnuInput (see web_input.cpp).

Module.varnuInput = {
  lines: [],
  ended: false,
  wake: null,  // resolves the engine's wait for a line

  push(text) {
    this.lines.push(text);
    this.notify();
  },
  end() {
    this.ended = true;
    this.notify();
  },
  notify() {
    const wake = this.wake;
    this.wake = null;
    if (wake) wake();
  },
  // Resolves when a line is waiting or the input is over.
  whenReady() {
    if (this.lines.length > 0 || this.ended) return Promise.resolve();
    return new Promise((resolve) => { this.wake = resolve; });
  },
  // Resolves after the event loop has had a turn: after milliseconds, or at once through a
  // message channel, which a browser does not slow down as it does a chain of zero timeouts.
  yieldFor(milliseconds) {
    if (milliseconds > 0 || typeof MessageChannel === 'undefined')
      return new Promise((resolve) => setTimeout(resolve, milliseconds));
    return new Promise((resolve) => {
      const channel = new MessageChannel();
      channel.port1.onmessage = () => { channel.port1.close(); resolve(); };
      channel.port2.postMessage(0);
    });
  },
};

// Emscripten's own environment tests come after this code.
const varnuInWorker = typeof importScripts === 'function';
const varnuInNode = typeof process === 'object' && typeof process.versions === 'object' &&
    typeof process.versions.node === 'string';

if (varnuInWorker) {
  Module.arguments = Array.from(new URLSearchParams(self.location.search).getAll('arg'));
  Module.print = (line) => postMessage(line);
  self.onmessage = (event) => {
    // A message may hold several lines; each is one command.
    for (const line of String(event.data).split('\n')) Module.varnuInput.push(line);
  };
} else if (varnuInNode) {
  let partial = '';
  process.stdin.setEncoding('utf8');
  process.stdin.on('data', (chunk) => {
    const parts = (partial + chunk).split('\n');
    partial = parts.pop();
    for (const line of parts) Module.varnuInput.push(line);
  });
  process.stdin.on('end', () => {
    if (partial !== '') Module.varnuInput.push(partial);
    Module.varnuInput.end();
  });
}
