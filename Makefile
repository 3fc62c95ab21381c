# The two commands of the quick start: `make demo` and `make test`.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build test test-debian13 unit run demo deb fuzz-smoke bench screenshots pot clean

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

# The same on Debian 13, in a system made once with debootstrap (as root).
test-debian13: deps
	@scripts/test-debian13

# Only the fast tests that need no display and no server.
unit: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -L unit

# The app against its configured origins (see README: Configuration).
run: deps build
	$(BUILD)/src/orvo-wav-downloader

demo: deps build
	@scripts/demo

# The Debian package, $(BUILD)/orvo-wav-downloader_<version>_amd64.deb: only
# the app and its manual page need building.
deb: deps configure
	cmake --build $(BUILD) -j$(JOBS) --target orvo-wav-downloader orvo_docs orvo_translations orvo_desktop_files
	cd $(BUILD) && cpack
	@ls $(BUILD)/*.deb

# Each fuzz target for a few seconds (clang's libFuzzer).
fuzz-smoke:
	@scripts/fuzz-smoke

# Redraws docs/screenshots/ from the widget and end-to-end tests.
screenshots: build
	cd $(BUILD) && ORVO_SCREENSHOTS=1 ctest --output-on-failure -R 'panel_widget_tests|app_e2e'

# The translation template, po/orvo-wav-downloader.pot, from the texts marked
# in the sources, the desktop entry and the AppStream metadata.
pot:
	@scripts/update-pot

bench: build
	@scripts/bench

clean:
	rm -rf $(BUILD) build-fuzz
