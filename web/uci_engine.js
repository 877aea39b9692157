// One UCI engine in a Web Worker: the page and the review drive it through this
// class. Each line from the engine goes to the running search, if any, and to
// whoever waits for a line of that kind.

const LOG_LIMIT = 5000

export class UciEngine {
  // fallbackUrl, when given, is started instead if the first build fails before its uciok (the
  // threaded build where the browser will not give it its shared memory); it is sent every
  // command sent so far.
  constructor(url, onError, fallbackUrl = null) {
    this.log = [] // the lines received, newest last
    this.sent = [] // the commands sent, newest last
    this.waiters = []
    this.search = null // the search whose bestmove is still to come
    this.started = false // uciok has come
    this.failed = new Promise((resolve, reject) => (this.reject = reject))
    this.failed.catch(() => {}) // reported through onError; waitFor rethrows it
    this.onError = onError
    this.fallbackUrl = fallbackUrl
    this.startWorker(url)
  }

  startWorker(url) {
    this.url = url
    this.worker = new Worker(url)
    this.worker.onmessage = (event) => this.receive(String(event.data))
    this.worker.onerror = (event) => {
      if (!this.started && this.fallbackUrl && url !== this.fallbackUrl) {
        console.warn(`${url} did not start (${event.message}); ${this.fallbackUrl} instead`)
        event.preventDefault()
        this.worker.terminate()
        this.startWorker(this.fallbackUrl)
        for (const command of this.sent) this.worker.postMessage(command)
        return
      }
      const error = new Error(event.message || 'the engine worker stopped')
      this.onError?.(error)
      this.reject(error)
    }
  }

  send(command) {
    this.sent.push(command)
    if (this.sent.length > LOG_LIMIT) this.sent.splice(0, this.sent.length - LOG_LIMIT)
    this.worker.postMessage(command)
  }

  receive(line) {
    if (line === 'uciok') this.started = true
    this.log.push(line)
    if (this.log.length > LOG_LIMIT) this.log.splice(0, this.log.length - LOG_LIMIT)

    const search = this.search
    if (search) {
      if (line.startsWith('info ')) {
        // Once stop is sent, the search's last lines are about a position the caller has left.
        if (!search.stopping) search.onInfo?.(line)
      } else if (line.startsWith('bestmove')) {
        this.search = null
        search.resolve({ move: line.split(/\s+/)[1], stopped: search.stopping })
      }
    }

    this.waiters = this.waiters.filter((waiter) => {
      if (!waiter.test(line)) return true
      waiter.resolve(line)
      return false
    })
  }

  // Resolves with the first line from now on that passes the test.
  waitFor(test) {
    const line = new Promise((resolve) => this.waiters.push({ test, resolve }))
    return Promise.race([line, this.failed])
  }

  async ready() {
    this.send('isready')
    await this.waitFor((line) => line === 'readyok')
  }

  setOption(name, value) {
    this.send(value === undefined ? `setoption name ${name}` : `setoption name ${name} value ${value}`)
  }

  // Searches the position { fen, moves }: fen is 'startpos' or a FEN, moves are
  // in UCI's notation. Resolves with the bestmove, marked as stopped when stop()
  // cut the search short.
  go(position, goCommand, onInfo) {
    if (this.search) throw new Error('the engine is still searching')
    let resolve
    const done = new Promise((r) => (resolve = r))
    this.search = { onInfo, resolve, done, stopping: false }
    const from = !position.fen || position.fen === 'startpos' ? 'startpos' : `fen ${position.fen}`
    const moves = position.moves ?? []
    this.send(moves.length ? `position ${from} moves ${moves.join(' ')}` : `position ${from}`)
    this.send(goCommand)
    return done
  }

  // Ends the running search; resolves once its bestmove has arrived, so the
  // next go cannot be answered by the old search's move.
  stop() {
    const search = this.search
    if (!search) return Promise.resolve()
    if (!search.stopping) {
      search.stopping = true
      this.send('stop')
    }
    return search.done
  }
}

// Reads the fields of an info line: numbers stay strings except score, wdl and
// multipv; pv is a list of moves; bound is 'lowerbound' or 'upperbound' when set.
export function parseInfo(line) {
  const words = line.trim().split(/\s+/)
  const info = {}
  for (let i = 1; i < words.length; i++) {
    const word = words[i]
    if (word === 'score') {
      info.score = { kind: words[i + 1], value: Number(words[i + 2]) }
      i += 2
    } else if (word === 'lowerbound' || word === 'upperbound') {
      info.bound = word
    } else if (word === 'wdl') {
      info.wdl = words.slice(i + 1, i + 4).map(Number)
      i += 3
    } else if (word === 'multipv') {
      info.multipv = Number(words[++i])
    } else if (word === 'pv') {
      info.pv = words.slice(i + 1)
      break
    } else if (word === 'string') {
      info.string = words.slice(i + 1).join(' ')
      break
    } else {
      info[word] = words[++i]
    }
  }
  return info
}
