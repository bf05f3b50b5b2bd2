# Thin wrapper over CMake: "make run" and "make test" are all a new user needs.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# "make dist" builds the binary for any x86-64 processor here.
DIST_DIR ?= build-dist
# "make install" puts $(BUILD_DIR)/corvan in $(DESTDIR)$(PREFIX)/bin and the
# manual page in $(DESTDIR)$(PREFIX)/share/man/man6.
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all build run test bench dist install clean

all: build

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/corvan

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

bench: build
	./scripts/bench.sh $(BUILD_DIR)

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
