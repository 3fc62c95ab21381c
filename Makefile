# The two commands of the quick start: `make demo` and `make test`.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build test unit run demo fuzz-smoke bench clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Every test: unit, integration and end-to-end, then a short fuzzing run.
test: deps
	$(MAKE) build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	$(MAKE) fuzz-smoke

# Only the fast tests that need no display and no server.
unit: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -L unit

# The app against its configured origins (see README: Configuration).
run: deps build
	$(BUILD)/src/orvo-wav-downloader

demo: deps build
	@scripts/demo

# Each fuzz target for a few seconds (clang's libFuzzer).
fuzz-smoke:
	@scripts/fuzz-smoke

bench: build
	@scripts/bench

clean:
	rm -rf $(BUILD) build-fuzz
