// The module in headless Chromium, through the page's own import of
// dist/corvan.mjs, served by serve.mjs (cross-origin isolated, so that the
// threaded module loads; ISOLATE=0 runs the same checks on the
// single-threaded one).
//   node wasm/test/browser.mjs           (CHROMIUM=/usr/bin/chromium, BENCH=N)
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import { Chess } from 'chess.js';

const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
const expectedBench = process.env.BENCH || '';
const isolate = process.env.ISOLATE !== '0';
const serveScript = fileURLToPath(new URL('../serve.mjs', import.meta.url));

let failures = 0;
async function check(name, body) {
  const start = Date.now();
  try {
    await body();
    console.log(`ok   ${name} (${Date.now() - start} ms)`);
  } catch (e) {
    ++failures;
    console.log(`FAIL ${name}: ${e && e.stack ? e.stack : e}`);
  }
}
function assert(condition, message) {
  if (!condition) throw new Error(message);
}

const server = spawn(process.execPath, [serveScript, '0'], { env: { ...process.env, ISOLATE: isolate ? '1' : '0' } });
const [banner] = await once(server.stdout, 'data');
const base = String(banner).match(/http:\/\/localhost:\d+/)[0];
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
});
try {
  const page = await browser.newPage();
  page.on('pageerror', (e) => console.log('page error:', e.message));
  await page.goto(`${base}/test/index.html`);
  await page.waitForFunction(() => window.moduleLoaded === true);

  // The engine used by every check below; the page keeps it as window.engine.
  const variant = await page.evaluate(async () => {
    const engine = window.corvan.createEngine();
    window.engine = engine;
    window.lines = [];
    engine.onLine((line) => window.lines.push(line));
    // Sent before the module runs: these wait in the worker, in order.
    engine.send('uci');
    engine.send('isready');
    await engine.ready;
    await engine.waitFor('readyok');
    return engine.variant;
  });
  console.log(`module: ${variant}`);
  await check(`the page loads the ${isolate ? 'threaded' : 'single-threaded'} module`, async () => {
    assert(variant === (isolate ? 'mt' : 'st'), `loaded ${variant}`);
  });

  await check('lines sent before the module ran: uci answered in full, then readyok', async () => {
    const lines = await page.evaluate(() => window.lines.slice());
    assert(lines[0] === 'id name Corvan 3.1', `first line ${lines[0]}`);
    const uciok = lines.indexOf('uciok');
    assert(uciok > 0 && lines[uciok + 1] === 'readyok', 'uciok then readyok');
    assert(lines.some((l) => /^option name Hash type spin default 16 min 1 max 512$/.test(l)), 'browser Hash limits');
  });

  // Asks the engine for a move in the game so far; the page returns the answer.
  const engineMove = (moves, go) =>
    page.evaluate(
      async (moves, go) => {
        window.engine.send('position startpos' + (moves.length ? ' moves ' + moves.join(' ') : ''));
        return (await window.engine.go(go)).bestmove;
      },
      moves,
      go,
    );

  await check('40 plies against itself at go nodes 2000: every move legal', async () => {
    await page.evaluate(() => window.engine.send('ucinewgame'));
    const game = new Chess();
    const moves = [];
    for (let ply = 0; ply < 40 && !game.isGameOver(); ++ply) {
      const move = await engineMove(moves, 'nodes 2000');
      const legal = game.moves({ verbose: true }).some((m) => m.from + m.to + (m.promotion || '') === move);
      assert(legal, `ply ${ply + 1}: ${move} is not legal after ${moves.join(' ')}`);
      game.move({ from: move.slice(0, 2), to: move.slice(2, 4), promotion: move[4] });
      moves.push(move);
    }
  });

  await check('go infinite: isready answered during the search, stop ends it with a legal bestmove', async () => {
    const result = await page.evaluate(async () => {
      const engine = window.engine;
      engine.send('position startpos moves e2e4');
      const first = engine.waitFor((l) => l.startsWith('info multipv 1 depth 5 '));
      const answer = engine.waitFor('bestmove');
      engine.send('go infinite');
      await first;
      const readyok = engine.waitFor('readyok');
      const order = [];
      readyok.then(() => order.push('readyok'));
      answer.then(() => order.push('bestmove'));
      engine.send('isready');
      await readyok;
      await new Promise((r) => setTimeout(r, 300));
      engine.send('stop');
      const best = await answer;
      return { best, order };
    });
    assert(result.order[0] === 'readyok', `order ${result.order}`);
    const game = new Chess();
    game.move('e4');
    const legal = game.moves({ verbose: true }).map((m) => m.from + m.to + (m.promotion || ''));
    const move = result.best.split(' ')[1];
    assert(legal.includes(move), `bestmove ${move}`);
  });

  await check('positions the engine cannot play: bestmove 0000 as natively', async () => {
    const answers = await page.evaluate(async () => {
      const engine = window.engine;
      const out = [];
      for (const fen of ['8/8/8/8/8/8/8/8 w - - 0 1', 'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1',
        'k7/8/8/8/8/8/8/7K w - - 0 1 moves h1h3']) {
        const info = engine.waitFor((l) => l.startsWith('info string') || l.startsWith('bestmove'));
        engine.send('position fen ' + fen);
        engine.send('isready');
        await engine.waitFor('readyok');
        out.push({ fen, info: await info, best: (await engine.go('depth 1')).bestmove });
      }
      // The engine still plays afterwards.
      engine.send('position startpos');
      out.push({ fen: 'startpos', best: (await engine.go('depth 3')).bestmove });
      return out;
    });
    for (const a of answers.slice(0, 3)) {
      assert(a.best === '0000', `${a.fen}: bestmove ${a.best}`);
      assert(/^info string (impossible position|illegal move)/.test(a.info), `${a.fen}: ${a.info}`);
    }
    assert(/^[a-h][1-8][a-h][1-8]$/.test(answers[3].best), `afterwards: ${answers[3].best}`);
  });

  await check('lines of any length and bytes: the engine discards what it cannot use and goes on', async () => {
    const best = await page.evaluate(async () => {
      const engine = window.engine;
      engine.send('position startpos moves ' + 'e2e4 '.repeat(600000));
      engine.send('x'.repeat(3 << 20));
      engine.send('go depth 2 \u00e9\u0000\uffff\ud800 wtime');
      const first = (await engine.waitFor('bestmove')).split(' ')[1];
      engine.send('position startpos');
      return [first, (await engine.go('depth 2')).bestmove];
    });
    assert(best.every((m) => /^([a-h][1-8]){2}$|^0000$/.test(m)), `answers ${best}`);
  });

  await check('Hash beyond the module: refused by info string, the engine goes on', async () => {
    const lines = await page.evaluate(async () => {
      const engine = window.engine;
      const seen = [];
      const stop = engine.onLine((l) => seen.push(l));
      engine.send('setoption name Hash value 100000');
      engine.send('ucinewgame');
      engine.send('isready');
      await engine.waitFor('readyok');
      engine.send('setoption name Hash value 16');
      engine.send('ucinewgame');
      engine.send('position startpos');
      const best = (await engine.go('depth 4')).bestmove;
      stop();
      return [...seen, best];
    });
    assert(lines.some((l) => /^info string Hash 100000 MB .*: 512 MB$/.test(l)), lines.join('\n'));
    assert(/^[a-h][1-8][a-h][1-8]$/.test(lines[lines.length - 1]), 'a move after it');
  });

  if (variant === 'mt')
    await check('four search threads: a search to its node limit, then stop of an infinite one', async () => {
      const answers = await page.evaluate(async () => {
        const engine = window.engine;
        engine.send('setoption name Threads value 4');
        engine.send('ucinewgame');
        engine.send('position startpos moves d2d4 d7d5');
        const limited = (await engine.go('nodes 300000')).bestmove;
        const infinite = engine.go('infinite');
        await new Promise((r) => setTimeout(r, 500));
        engine.send('stop');
        const stopped = (await infinite).bestmove;
        engine.send('setoption name Threads value 1');
        engine.send('ucinewgame');
        return [limited, stopped];
      });
      const game = new Chess();
      game.move('d4');
      game.move('d5');
      const legal = game.moves({ verbose: true }).map((m) => m.from + m.to + (m.promotion || ''));
      for (const move of answers) assert(legal.includes(move), `bestmove ${move}`);
    });

  await check('a worker that cannot start rejects ready with the reason', async () => {
    const reason = await page.evaluate(async () => {
      const engine = window.corvan.createEngine({ workerUrl: new URL('missing-worker.js', location.href) });
      try {
        await engine.ready;
        return null;
      } catch (e) {
        return e.message;
      }
    });
    assert(typeof reason === 'string' && reason.length > 0, `reason ${reason}`);
  });

  await check('pgo: the native node count', async () => {
    const result = await page.evaluate(async () => {
      const engine = window.engine;
      const nodes = engine.waitFor((l) => l.startsWith('Total nodes searched: '));
      const nps = engine.waitFor((l) => l.startsWith('Nodes/second: '));
      engine.send('pgo');
      return { nodes: await nodes, nps: await nps };
    });
    console.log(`     ${result.nodes}, ${result.nps} (${variant})`);
    const count = result.nodes.split(': ')[1];
    if (expectedBench) assert(count === expectedBench, `${count} nodes, native ${expectedBench}`);
  });

  await check('the demo page: a move on the board is answered, analysis shows MultiPV lines', async () => {
    const demo = await browser.newPage();
    demo.on('pageerror', (e) => console.log('demo page error:', e.message));
    await demo.goto(`${base}/demo/`);
    await demo.waitForFunction(() => /^Engine ready/.test(document.getElementById('status').textContent), { timeout: 30000 });
    const status = await demo.$eval('#status', (e) => e.textContent);
    assert(status.includes(isolate ? 'threaded' : 'single-threaded'), status);
    await demo.evaluate(() => (document.getElementById('movetime').value = '200'));
    await demo.click('button[aria-label=e2]');
    await demo.click('button[aria-label=e4]');
    await demo.waitForFunction(() => window.demo.game.history().length === 2, { timeout: 10000 });
    await demo.click('input[name=mode][value=analyse]');
    await demo.waitForFunction(() => document.querySelectorAll('#lines li').length === 3, { timeout: 10000 });
    const text = await demo.$eval('#eval', (e) => e.textContent);
    assert(/^Evaluation: [+-]?\d+\.\d\d|#/.test(text.replace('Evaluation: #', '#')), text);
    await demo.evaluate(() => {
      document.getElementById('fen').value = '4k3/8/8/8/8/8/4P3/4K3 w - - 0 1';
      document.getElementById('setFen').click();
    });
    await demo.waitForFunction(() => [...document.querySelectorAll('#lines li')].some((li) => /Kd2|Kf2|e4|e3|Kd1|Kf1/.test(li.textContent)), { timeout: 10000 });
    await demo.close();
  });
} finally {
  await browser.close();
  server.kill();
}
console.log(failures ? `${failures} failed` : 'all passed');
process.exit(failures ? 1 : 0);
