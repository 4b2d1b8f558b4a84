# Entry points. Every target installs missing Debian packages first (scripts/install-deps.sh).
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CTEST_ARGS ?=

.PHONY: all deps build test asan bench demo format clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: deps $(BUILD)/build.ninja
	@cmake --build $(BUILD) -j $(JOBS)

# The main job: the reference server on 127.0.0.1 and kvtail following its live alerts.
demo: build
	@bash scripts/demo.sh $(ARGS)

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
