#!/usr/bin/env bash
# Builds the browser module into wasm/dist/: a native build (build-host/)
# first for corvan-tbgen's built-in tablebases, then the threaded and the
# single-threaded module with Emscripten (build-wasm/mt, build-wasm/st);
# then the demo's packages (npm ci) when they are missing. Installs
# emscripten (apt-get) when it is missing.
#   wasm/build.sh [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-1}
host=${HOST_BUILD_DIR:-build-host}
out=${WASM_BUILD_DIR:-build-wasm}
# A fresh Debian machine lacks the toolchain: install it when we may.
if ! command -v emcmake >/dev/null; then
  echo "wasm/build.sh: installing emscripten (apt-get)"
  { DEBIAN_FRONTEND=noninteractive apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq emscripten npm; } >/dev/null 2>&1 ||
    true
  command -v emcmake >/dev/null || { echo "wasm/build.sh: emcmake not found and not installable (apt-get install emscripten, as root)" >&2; exit 1; }
fi
# Debian's emscripten runs its JavaScript tools with the node on PATH, which
# may not look in Debian's module folder.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

cmake -S . -B "$host" -DCMAKE_BUILD_TYPE=Release -DCORVAN_PGO=off >/dev/null
cmake --build "$host" -j "$jobs" --target corvan
for variant in mt st; do
  threads=ON
  [ "$variant" = st ] && threads=OFF
  emcmake cmake -S . -B "$out/$variant" -DCMAKE_BUILD_TYPE=Release -DCORVAN_WASM_THREADS=$threads \
    -DCORVAN_HOST_BUILD="$PWD/$host" >/dev/null
  cmake --build "$out/$variant" -j "$jobs" --target corvan
done
mkdir -p wasm/dist
cp "$out"/mt/corvan-mt.js "$out"/mt/corvan-mt.wasm "$out"/mt/corvan-mt.worker.js wasm/dist/
cp "$out"/st/corvan-st.js "$out"/st/corvan-st.wasm wasm/dist/
cp wasm/src/corvan.mjs wasm/src/corvan-worker.js wasm/dist/
# The demo page takes chess.js from wasm/node_modules.
if [ ! -d wasm/node_modules/chess.js ]; then
  (cd wasm && npm ci --no-audit --no-fund >/dev/null 2>&1) ||
    echo "wasm/build.sh: npm ci failed: the demo page needs wasm/node_modules/chess.js" >&2
fi
echo "wasm/build.sh: wasm/dist/ holds the module"
