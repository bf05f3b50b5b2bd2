# Thin wrapper over CMake: "make run" and "make test" are all a new user needs.
# "make" builds the profile-guided Release build (scripts/pgo-build.sh): an
# instrumented engine runs the benchmark, and the build that follows is
# compiled with its counts and link-time optimised; "make PGO=0" builds
# without the profile.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PGO ?= 1
# "make dist" builds the binary for any x86-64 processor here.
DIST_DIR ?= build-dist
# "make install" puts $(BUILD_DIR)/corvan in $(DESTDIR)$(PREFIX)/bin and the
# manual page in $(DESTDIR)$(PREFIX)/share/man/man6.
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all build run test bench compare dist install clean

all: build

$(BUILD_DIR)/CMakeCache.txt:
	$(MAKE) build

build:
ifeq ($(PGO),0)
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DCORVAN_PGO=off $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)
else
	./scripts/pgo-build.sh $(BUILD_DIR) $(JOBS) $(CMAKE_FLAGS)
endif

# The engine alone, so that a new user plays within one build; the tests
# and tools come with "make" and "make test".
run:
ifeq ($(PGO),0)
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DCORVAN_PGO=off $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target corvan
else
	PGO_TARGETS=corvan ./scripts/pgo-build.sh $(BUILD_DIR) $(JOBS) $(CMAKE_FLAGS)
endif
	./$(BUILD_DIR)/corvan

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

bench: build
	./scripts/bench.sh $(BUILD_DIR)

# The benchmark's speed against Stockfish's on this machine (RUNS alternating
# runs, medians).
RUNS ?= 3
compare: build
	./scripts/bench.sh --compare --runs $(RUNS) $(BUILD_DIR)

# Plain x86-64 code with the network kernels of every instruction set level,
# the fastest that the processor runs chosen at start-up. Install it with
# "make install BUILD_DIR=$(DIST_DIR)".
dist:
	cmake -S . -B $(DIST_DIR) -DCMAKE_BUILD_TYPE=Release -DCORVAN_SIMD=dist $(CMAKE_FLAGS)
	cmake --build $(DIST_DIR) -j $(JOBS) --target corvan

install: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target corvan
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

clean:
	rm -rf $(BUILD_DIR)

# The engine in the browser (wasm/README.md): the WebAssembly modules in
# wasm/dist/ (built in build-host/ and build-wasm/), and their tests in
# headless Chromium.
.PHONY: wasm wasm-test
wasm:
	./wasm/build.sh $(JOBS)

wasm-test:
	./wasm/test.sh $(JOBS)
