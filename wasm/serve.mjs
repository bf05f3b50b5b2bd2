// A small static server for the demo and the tests, with the headers that
// make the page cross-origin isolated (and so give it the threaded module).
//   node wasm/serve.mjs [PORT]        then open http://localhost:PORT/demo/
// ISOLATE=0 leaves the headers out, so the page loads the single-threaded module.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('.', import.meta.url));
const port = Number(process.argv[2] || process.env.PORT || 8080);
const isolate = process.env.ISOLATE !== '0';
const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.css': 'text/css', '.json': 'application/json', '.svg': 'image/svg+xml',
};

const server = createServer(async (request, response) => {
  const path = decodeURIComponent(new URL(request.url, 'http://x').pathname);
  let file = normalize(join(root, path));
  if (!file.startsWith(root) && file + sep !== root) {
    response.writeHead(403).end();
    return;
  }
  if (file.endsWith(sep)) file = join(file, 'index.html');
  try {
    const body = await readFile(file);
    const headers = { 'Content-Type': types[extname(file)] || 'application/octet-stream', 'Cache-Control': 'no-cache' };
    if (isolate) {
      headers['Cross-Origin-Opener-Policy'] = 'same-origin';
      headers['Cross-Origin-Embedder-Policy'] = 'require-corp';
      headers['Cross-Origin-Resource-Policy'] = 'same-origin';
    }
    response.writeHead(200, headers).end(body);
  } catch {
    response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
  }
});
server.listen(port, '127.0.0.1', () => {
  console.log(`serving ${root} at http://localhost:${server.address().port}/demo/ (${isolate ? 'cross-origin isolated' : 'not isolated'})`);
});
