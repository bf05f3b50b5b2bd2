// The engine's worker. The first message names the module to load
// ({type: 'start', variant: 'mt' | 'st'}); after it, every {type: 'line'}
// message is one UCI line for the engine, and every line the engine writes
// comes back as {type: 'line', line}. Lines that arrive while the module is
// still loading are kept and given to it in order once it runs.
// {type: 'ready', variant} says the engine takes lines, {type: 'error',
// reason} that it could not start (or stopped working).
'use strict';

let engine = null;
let failed = false;
const pending = [];

function fail(reason) {
  if (failed) return;
  failed = true;
  postMessage({ type: 'error', reason: String(reason) });
}

function start(variant) {
  if (typeof WebAssembly !== 'object') return fail('this browser has no WebAssembly');
  if (variant === 'mt' && typeof SharedArrayBuffer !== 'function')
    return fail('the threaded module needs SharedArrayBuffer (a cross-origin isolated page)');
  try {
    importScripts('corvan-' + variant + '.js');
  } catch (e) {
    return fail('could not load corvan-' + variant + '.js: ' + e);
  }
  // The single-threaded module takes its lines from this queue itself.
  const input = [];
  let module;
  try {
    module = self.CorvanModule({
      corvanInput: input,
      arguments: [],
      // The threads' workers load the module by this name (this worker's
      // own script is not it).
      mainScriptUrlOrBlob: new URL('corvan-' + variant + '.js', self.location.href).href,
      print: (line) => postMessage({ type: 'line', line }),
      printErr: (line) => postMessage({ type: 'log', line }),
      onAbort: (what) => fail('the engine stopped: ' + what),
    });
  } catch (e) {
    return fail('could not start the engine: ' + e);
  }
  module.then(
    (m) => {
      if (failed) return;
      // A line is copied to the module's heap, not its stack: lines of any
      // length come from the page (the engine discards those over 1 MB).
      const push = (line) => {
        const size = m.lengthBytesUTF8(line) + 1;
        const text = m._malloc(size);
        if (!text) return;
        m.stringToUTF8(line, text, size);
        m._corvan_push_line(text);
        m._free(text);
      };
      engine = variant === 'mt' ? push : (line) => input.push(line);
      postMessage({ type: 'ready', variant });
      while (pending.length) engine(pending.shift());
    },
    (e) => fail('could not start the engine: ' + (e && e.message ? e.message : e)),
  );
}

self.onmessage = (event) => {
  const message = event.data || {};
  if (message.type === 'start') start(message.variant === 'st' ? 'st' : 'mt');
  else if (message.type === 'line') {
    // One command per line: text after a line break would be a second one.
    for (const line of String(message.line).split(/\r?\n/)) {
      if (engine) engine(line);
      else pending.push(line);
    }
  }
};
self.onerror = (e) => fail(e && e.message ? e.message : e);
