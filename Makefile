# The two everyday commands are `make run` and `make test`; see README.md.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test run bench sanitize fuzz deb clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The build makes the samples too (build/share/zarndemo/samples).
run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY$$QT_QPA_PLATFORM" ]; then \
		echo "make run: no display here (DISPLAY and WAYLAND_DISPLAY are unset); on a headless machine, make test runs everything offscreen"; \
		exit 1; \
	fi
	@$(BUILD)/bin/zarndemo

bench: build
	@QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy scripts/run-bench $(BUILD)

# The tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then
# the threaded tests under ThreadSanitizer and a bounded fuzz of every parser,
# OSC datagrams included.
sanitize: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZARN_SANITIZE=address >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)
	@if [ -f scripts/sanitize-extra ]; then FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/sanitize-extra $(TSAN_BUILD); fi

# Every file parser and OSC datagrams fuzzed for FUZZ_SECONDS each, or
# FUZZ_RUNS inputs each; prints each one's inputs and inputs per second.
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_RUNS=$(FUZZ_RUNS) JOBS=$(JOBS) scripts/fuzz

# The Debian package build/zarndemo_VERSION_amd64.deb: the build installed
# under /usr, with fresh screenshots of the program tests for its metadata.
deb: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && ctest -R "^Program\.ClickedThroughTheSamples" --output-on-failure
	@cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-fuzz
