// The demo: a board, a game against the engine, and analysis of any
// position or game with its evaluation and MultiPV lines.
import { createEngine } from '../dist/corvan.mjs';
import { Chess } from '../node_modules/chess.js/dist/esm/chess.js';

const $ = (id) => document.getElementById(id);
const GLYPHS = { wk: '♔', wq: '♕', wr: '♖', wb: '♗', wn: '♘', wp: '♙', bk: '♚', bq: '♛', br: '♜', bb: '♝', bn: '♞', bp: '♟' };

let game = new Chess();
let startFen = game.fen();
let flipped = false;
let selected = null;
let lastMove = null;
let lines = [];
let searchId = 0;

const engine = createEngine();
engine.onLine((line) => {
  if (line.startsWith('info string')) console.log(line);
});
engine.send('uci');
engine.send('setoption name Hash value 64');
engine.ready.then(
  (variant) => {
    $('status').textContent =
      variant === 'mt'
        ? `Engine ready: threaded module (${navigator.hardwareConcurrency || 1} threads available; this page is cross-origin isolated).`
        : 'Engine ready: single-threaded module (this page is not cross-origin isolated, so it has no SharedArrayBuffer).';
    if (variant === 'mt') engine.send(`setoption name Threads value ${Math.max(1, Math.min(4, (navigator.hardwareConcurrency || 2) - 1))}`);
    update();
  },
  (error) => ($('status').textContent = 'The engine could not start: ' + error.message),
);

const mode = () => document.querySelector('input[name=mode]:checked').value;
const engineToMove = () => mode() === 'play' && !game.isGameOver() && game.turn() !== $('colour').value;

function uciMoves() {
  return game.history({ verbose: true }).map((m) => m.from + m.to + (m.promotion || ''));
}

// Searches run one after another: a new one stops the one running (and
// drops any that had not begun), so "go" never waits behind "go infinite".
let chain = Promise.resolve(null);
let running = false;

// Ends the running search, if any, and waits until the engine has answered.
async function stopSearch() {
  ++searchId;
  if (running) engine.send('stop');
  await chain;
}

// Resolves with the bestmove record, or null when a newer search replaced it.
function search(goParameters, onInfo) {
  const id = ++searchId;
  if (running) engine.send('stop');
  const run = chain.then(async () => {
    if (id !== searchId) return null;
    const moves = uciMoves();
    engine.send(`position fen ${startFen}${moves.length ? ' moves ' + moves.join(' ') : ''}`);
    running = true;
    try {
      const result = await engine.go(goParameters, (info) => id === searchId && onInfo(info));
      return id === searchId ? result : null;
    } finally {
      running = false;
    }
  });
  chain = run.catch(() => null);
  return run;
}

// A line of moves from the current position in SAN, as far as it is legal.
function sanLine(pv) {
  const copy = new Chess(game.fen());
  const words = [];
  for (const move of pv) {
    const number = copy.moveNumber();
    let san;
    try {
      san = copy.move({ from: move.slice(0, 2), to: move.slice(2, 4), promotion: move[4] }).san;
    } catch {
      break;
    }
    const turn = copy.turn() === 'b' ? 'w' : 'b';
    words.push(turn === 'w' ? `${number}. ${san}` : words.length ? san : `${number}… ${san}`);
  }
  return words.join(' ');
}

// Scores from White's side, as boards are read.
function scoreText(score) {
  if (!score) return '–';
  const sign = game.turn() === 'w' ? 1 : -1;
  if (score.mate !== undefined) return `#${sign * score.mate}`;
  const cp = (sign * score.cp) / 100;
  return (cp > 0 ? '+' : '') + cp.toFixed(2);
}

function showInfo(info) {
  if (!info.pv || !info.multipv) return;
  lines[info.multipv - 1] = info;
  $('eval').textContent = `Evaluation: ${scoreText(lines[0] && lines[0].score)} (depth ${lines[0] ? lines[0].depth : '–'})`;
  $('lines').innerHTML = '';
  for (const line of lines) {
    if (!line) continue;
    const item = document.createElement('li');
    item.textContent = `${scoreText(line.score)}  d${line.depth}  ${sanLine(line.pv)}`;
    $('lines').append(item);
  }
}

async function update() {
  drawBoard();
  $('fen').value = game.fen();
  $('moves').textContent = game.pgn({ maxWidth: 80 });
  // Options are read by the engine between searches only.
  await stopSearch();
  lines = [];
  $('lines').innerHTML = '';
  if (game.isGameOver()) {
    $('eval').textContent = game.isCheckmate() ? 'Checkmate' : 'Draw';
    return;
  }
  if (mode() === 'analyse') {
    engine.send(`setoption name MultiPV value ${$('multipv').value}`);
    engine.send('setoption name UCI_LimitStrength value false');
    search('infinite', showInfo);
  } else if (engineToMove()) {
    engine.send('setoption name MultiPV value 1');
    // The top of the scale is full strength.
    const elo = Number($('strength').value);
    engine.send(`setoption name UCI_LimitStrength value ${elo < 3190}`);
    engine.send(`setoption name UCI_Elo value ${elo}`);
    const result = await search(`movetime ${Math.max(50, Number($('movetime').value) || 1000)}`, showInfo);
    if (result && result.bestmove && result.bestmove !== '0000') play(result.bestmove);
  }
}

function play(uci) {
  try {
    const move = game.move({ from: uci.slice(0, 2), to: uci.slice(2, 4), promotion: uci[4] || 'q' });
    lastMove = [move.from, move.to];
  } catch {
    return false;
  }
  update();
  return true;
}

function drawBoard() {
  const board = $('board');
  board.innerHTML = '';
  for (let r = 0; r < 8; ++r) {
    for (let f = 0; f < 8; ++f) {
      const file = flipped ? 7 - f : f;
      const rank = flipped ? r : 7 - r;
      const square = 'abcdefgh'[file] + (rank + 1);
      const piece = game.get(square);
      const cell = document.createElement('button');
      cell.className = (file + rank) % 2 ? 'light' : 'dark';
      if (square === selected) cell.classList.add('selected');
      if (lastMove && lastMove.includes(square)) cell.classList.add('last');
      cell.textContent = piece ? GLYPHS[piece.color + piece.type] : '';
      cell.setAttribute('aria-label', square);
      cell.onclick = () => clickSquare(square);
      board.append(cell);
    }
  }
}

function clickSquare(square) {
  if (engineToMove()) return;
  const piece = game.get(square);
  if (selected && selected !== square && play(selected + square)) {
    selected = null;
    return;
  }
  selected = piece && piece.color === game.turn() ? square : null;
  drawBoard();
}

function loadPosition(load) {
  $('message').textContent = '';
  const next = new Chess();
  try {
    load(next);
  } catch (e) {
    $('message').textContent = e.message;
    return;
  }
  // The game starts at the position the PGN or FEN started at.
  const history = next.history();
  const first = new Chess();
  const header = next.header ? next.header() : {};
  if (header.FEN) first.load(header.FEN);
  else if (!history.length) first.load(next.fen());
  startFen = first.fen();
  game = next;
  lastMove = null;
  selected = null;
  update();
}

$('new').onclick = () => loadPosition(() => {});
$('undo').onclick = async () => {
  await stopSearch();
  game.undo();
  if (mode() === 'play' && game.turn() !== $('colour').value) game.undo();
  lastMove = null;
  update();
};
$('flip').onclick = () => {
  flipped = !flipped;
  drawBoard();
};
$('setFen').onclick = () => loadPosition((g) => g.load($('fen').value.trim()));
$('loadPgn').onclick = () => loadPosition((g) => g.loadPgn($('pgn').value));
$('strength').oninput = () =>
  ($('strengthValue').textContent = $('strength').value === '3190' ? 'full' : $('strength').value);
for (const input of document.querySelectorAll('input[name=mode], #colour, #multipv')) input.onchange = () => update();
window.demo = { engine, get game() { return game; } };
