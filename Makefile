# simQuorvex: the two everyday commands are `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench sanitize fuzz clean demo examples screenshots

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	    echo "simquorvex: no display available (DISPLAY and WAYLAND_DISPLAY are unset); run it from a desktop session" >&2; \
	    exit 1; \
	fi
	@$(BUILD_DIR)/ui/simquorvex

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The pictures of the user guide and the README (docs/images), taken by the
# desktop application under a virtual X server.
screenshots: build
	@bash docs/screenshots.sh $(BUILD_DIR)

# The Corvane example, headless: two seconds of running, then its VIC frame
# as a PNG. The run ends at its time limit, which simq reports with status 1.
DEMO_PNG ?= $(BUILD_DIR)/demo-picture.png
demo: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target simq
	@$(BUILD_DIR)/cli/simq --system corvane --load examples/corvane/picture.s19 \
	    --limit-seconds 2 --run-all --frame VIC $(DEMO_PNG); \
	    status=$$?; if [ $$status -gt 1 ]; then exit $$status; fi
	@echo "demo: the Corvane example's picture is in $(abspath $(DEMO_PNG))"

# The examples from their sources: image, listing and symbols of each under
# $(BUILD_DIR)/examples (the tests check that the images equal the shipped ones).
EXAMPLES = 6502/sieve:hex vo16/checkerboard:s19 corvane/picture:s19
examples: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target simq
	@for e in $(EXAMPLES); do \
	    src=$${e%%:*}; ext=$${e##*:}; out=$(BUILD_DIR)/examples/$$src; \
	    mkdir -p $$(dirname $$out) && \
	    $(BUILD_DIR)/cli/simq --assemble examples/$$src.s -o $$out.$$ext \
	        --listing $$out.lst --symbols $$out.sym || exit 1; \
	    echo "examples: $$out.$$ext"; \
	done

# Benchmarks report simulated instructions per second; they are never timed tests.
bench: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target benchmarks
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_min_time=0.5 || exit 1; done

# Every test under the address and undefined-behaviour sanitizers, then the
# ones that run threads under the thread sanitizer: every suite but the cores'
# (cpu), whose tests step a core on the test's own thread. Any report fails.
# The library, the runner and the tests; the benchmarks are not built.
SANITIZE_TARGETS = tests/all cli/all
# Seconds a test may take before it counts as hung.
SANITIZE_TIMEOUT ?= 600
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
sanitize: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIMQ_BUILD_UI=OFF -DSIMQ_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS) --target $(SANITIZE_TARGETS)
	@cd build-asan && $(SANITIZE_ENV) ctest --output-on-failure --timeout $(SANITIZE_TIMEOUT) -j $(JOBS)
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIMQ_BUILD_UI=OFF -DSIMQ_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(SANITIZE_TARGETS)
	@cd build-tsan && $(SANITIZE_ENV) ctest --output-on-failure --timeout $(SANITIZE_TIMEOUT) -j $(JOBS) -LE '^cpu$$'

# libFuzzer targets (clang, address and undefined sanitizers), each run for
# FUZZ_SECONDS on a scratch copy of its seed corpus under build-fuzz; any
# crash, leak, timeout or out-of-memory fails.
FUZZ_SECONDS ?= 60
fuzz: deps
	@CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIMQ_BUILD_UI=OFF -DSIMQ_BUILD_TESTS=OFF -DSIMQ_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@bash fuzz/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

clean:
	@rm -rf $(BUILD_DIR) build-*
