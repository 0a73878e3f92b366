# simQuorvex: the two everyday commands are `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench clean

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

# Benchmarks report simulated instructions per second; they are never timed tests.
bench: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target benchmarks
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_min_time=0.5 || exit 1; done

clean:
	@rm -rf $(BUILD_DIR) build-*
