#!/usr/bin/env bash
# Builds the browser module and runs its tests in headless Chromium: the
# threaded module on a cross-origin isolated page, then the single-threaded
# one on a page without isolation, each against the native engine's pgo node
# count. Installs emscripten and chromium (apt-get) and the test packages
# (npm ci) when they are missing; when that fails it says so and exits 0.
#   wasm/test.sh [JOBS]          (SKIP_BUILD=1 tests the module in wasm/dist/)
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-1}
skip() {
  echo "wasm/test.sh: skipped: $*"
  exit 0
}

need=()
command -v emcmake >/dev/null || need+=(emscripten)
command -v chromium >/dev/null || need+=(chromium)
command -v node >/dev/null || need+=(nodejs npm)
if [ ${#need[@]} -gt 0 ]; then
  echo "wasm/test.sh: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update -qq && apt-get install -y -qq "${need[@]}"; } >/dev/null 2>&1 || skip "could not install ${need[*]}"
fi
if [ ! -d wasm/node_modules/puppeteer-core ] || [ ! -d wasm/node_modules/chess.js ]; then
  (cd wasm && npm ci --no-audit --no-fund >/dev/null 2>&1) || skip "npm ci failed (no registry?)"
fi

set -e
start=$(date +%s)
if [ "${SKIP_BUILD:-0}" != 1 ]; then
  wasm/build.sh "$jobs"
fi
built=$(date +%s)
host=${HOST_BUILD_DIR:-build-host}
bench=$("$host/corvan" pgo | sed -n 's/^Total nodes searched: //p')
echo "wasm/test.sh: native pgo counts $bench nodes"
status=0
BENCH=$bench node wasm/test/browser.mjs || status=1
ISOLATE=0 BENCH=$bench node wasm/test/browser.mjs || status=1
end=$(date +%s)
echo "wasm/test.sh: build $((built - start)) s, browser tests $((end - built)) s"
exit $status
