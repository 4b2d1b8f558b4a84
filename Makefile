# Entry points. Every target installs missing Debian packages first (scripts/install-deps.sh).
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CTEST_ARGS ?=
SHOTS ?= $(BUILD)/screenshots

.PHONY: all deps build test asan bench demo screenshots format clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: deps $(BUILD)/build.ninja
	@cmake --build $(BUILD) -j $(JOBS)

# The main job: the reference server on 127.0.0.1 and the Qt host showing its live alerts (with a
# display), or kvtail following them (without one). Only the demo's own output goes to stdout
# (make demo ARGS="--format json" | jq . without a display): the build's goes to stderr.
demo:
	@$(MAKE) --no-print-directory build >&2
	@KV_BIN_DIR=$(BUILD)/bin bash scripts/demo.sh $(ARGS)

# Pictures of the Qt host's windows, taken on a virtual X server, in $(SHOTS).
screenshots: build
	@bash scripts/screenshots.sh --qt-host --out $(SHOTS)

# Runs every test (unit and integration) through CTest and ends on its summary.
test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The same with address and undefined-behaviour sanitizers, and the leak checker: a process of
# ours (test, server, tool, host) that leaves memory behind fails. tests/lsan.supp lists the
# system libraries' once-per-process allocations.
asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
		ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# Google Benchmark run of the reply pipeline (inflate, frames, message tree vs pugixml) and of
# the alert grid under a stream of alerts (vs QTableView).
bench: build
	@$(BUILD)/bin/kv_bench $(BENCH_ARGS)

format:
	@git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD)
