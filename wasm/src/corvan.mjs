// Corvan in a Web Worker: start it, send it UCI lines, get its lines back
// whole and in order, or as parsed "info" and "bestmove" records.
//
//   import { createEngine } from 'corvan-wasm';
//   const engine = createEngine();          // lines may be sent at once
//   engine.onLine((line) => console.log(line));
//   await engine.ready;                     // rejects when it cannot start
//   engine.send('position startpos');
//   const { bestmove, infos } = await engine.go('movetime 1000');

// Whether this page may run the threaded module: it needs SharedArrayBuffer,
// which browsers give only to cross-origin isolated pages.
export function threadsAvailable() {
  return globalThis.crossOriginIsolated === true && typeof SharedArrayBuffer === 'function';
}

const INFO_NUMBERS = ['depth', 'seldepth', 'multipv', 'nodes', 'nps', 'time', 'tbhits', 'hashfull', 'currmovenumber'];

// An "info" line as a record: numbers as numbers, score as {cp} or {mate}
// (with bound 'lower' or 'upper' when given), pv as an array of moves,
// "info string" as {string}. Null for any other line.
export function parseInfo(line) {
  const words = line.trim().split(/\s+/);
  if (words[0] !== 'info') return null;
  const info = {};
  for (let i = 1; i < words.length; ++i) {
    const word = words[i];
    if (word === 'string') {
      info.string = words.slice(i + 1).join(' ');
      break;
    } else if (word === 'pv') {
      info.pv = words.slice(i + 1);
      break;
    } else if (word === 'score') {
      const kind = words[++i];
      const value = Number(words[++i]);
      info.score = kind === 'mate' ? { mate: value } : { cp: value };
      if (words[i + 1] === 'lowerbound' || words[i + 1] === 'upperbound')
        info.score.bound = words[++i] === 'lowerbound' ? 'lower' : 'upper';
    } else if (word === 'currmove') {
      info.currmove = words[++i];
    } else if (INFO_NUMBERS.includes(word)) {
      info[word] = Number(words[++i]);
    }
  }
  return info;
}

// "bestmove M [ponder P]" as {bestmove, ponder}; null for any other line.
export function parseBestMove(line) {
  const words = line.trim().split(/\s+/);
  if (words[0] !== 'bestmove' || words.length < 2) return null;
  return { bestmove: words[1], ponder: words[2] === 'ponder' ? words[3] || null : null };
}

// The folder of this file, where the worker and the modules lie.
const here = new URL('.', import.meta.url);

// Starts the engine's worker. threads: true for the threaded module, false
// for the single-threaded one, undefined to take the threaded one where the
// page allows it. workerUrl: where corvan-worker.js lies (default: next to
// this file). The engine takes lines at once; they wait in order until the
// module runs. engine.ready resolves with the module's kind ('mt' or 'st')
// and rejects with the reason when the worker cannot start.
export function createEngine({ threads, workerUrl } = {}) {
  const variant = (threads === undefined ? threadsAvailable() : threads) ? 'mt' : 'st';
  const listeners = new Set();
  const waiters = [];
  let worker;
  let settle;
  const ready = new Promise((resolve, reject) => {
    settle = { resolve, reject };
  });
  // Nobody may be listening for a failure that only matters on use.
  ready.catch(() => {});
  let failure = null;

  const deliver = (line) => {
    for (const listener of listeners) listener(line);
    for (let i = 0; i < waiters.length; ) {
      const waiter = waiters[i];
      if (waiter.test(line)) {
        waiters.splice(i, 1);
        waiter.resolve(line);
      } else ++i;
    }
  };
  const failAll = (reason) => {
    failure = new Error(reason);
    settle.reject(failure);
    for (const waiter of waiters.splice(0)) waiter.reject(failure);
  };

  try {
    worker = new Worker(workerUrl || new URL('corvan-worker.js', here));
  } catch (e) {
    failAll('could not start the worker: ' + (e && e.message ? e.message : e));
  }
  if (worker) {
    worker.onmessage = (event) => {
      const message = event.data;
      if (message.type === 'line') deliver(message.line);
      else if (message.type === 'ready') settle.resolve(message.variant);
      else if (message.type === 'error') failAll(message.reason);
    };
    worker.onerror = (event) => {
      event.preventDefault();
      failAll('the worker failed: ' + (event.message || 'it could not be loaded'));
    };
    worker.postMessage({ type: 'start', variant });
  }

  const engine = {
    variant,
    ready,
    // Sends one UCI line (or several, one per line break).
    send(line) {
      if (failure) throw failure;
      worker.postMessage({ type: 'line', line: String(line) });
    },
    // Calls listener(line) for every line the engine writes; returns a
    // function that removes it.
    onLine(listener) {
      listeners.add(listener);
      return () => listeners.delete(listener);
    },
    // The next line for which test(line) holds (a string: the line starts
    // with that word).
    waitFor(test) {
      if (failure) return Promise.reject(failure);
      const predicate = typeof test === 'string' ? (line) => line === test || line.startsWith(test + ' ') : test;
      return new Promise((resolve, reject) => waiters.push({ test: predicate, resolve, reject }));
    },
    // "go PARAMETERS": resolves with {bestmove, ponder, infos, lines} once
    // the engine answers bestmove; onInfo(record) sees each info as it comes.
    async go(parameters = '', onInfo) {
      const infos = [];
      const stop = engine.onLine((line) => {
        const info = parseInfo(line);
        if (info) {
          infos.push(info);
          if (onInfo) onInfo(info);
        }
      });
      try {
        const answer = engine.waitFor('bestmove');
        engine.send(('go ' + parameters).trim());
        return { ...parseBestMove(await answer), infos };
      } finally {
        stop();
      }
    },
    // "uci" and "isready" answered: resolves once the engine is ready for a game.
    async handshake() {
      const uciok = engine.waitFor('uciok');
      engine.send('uci');
      await uciok;
      const readyok = engine.waitFor('readyok');
      engine.send('isready');
      await readyok;
    },
    // Ends the engine: "quit", then the worker is ended.
    quit() {
      if (!worker) return;
      try {
        worker.postMessage({ type: 'line', line: 'quit' });
      } finally {
        const w = worker;
        setTimeout(() => w.terminate(), 100);
        failAll('the engine has quit');
      }
    },
  };
  return engine;
}

// createEngine, resolved once the engine runs (rejected when it cannot start).
export async function startEngine(options) {
  const engine = createEngine(options);
  await engine.ready;
  return engine;
}
