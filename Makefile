# Two entry points for a fresh machine: `make run` and `make test`.
# Both install missing Debian packages first (scripts/install-deps.sh).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: deps build run screenshots test test-plain test-asan asan bench fuzz fuzz-deps clean

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The program never creates its table: the companion tool makes an empty
# PhoneBook next to it when there is none yet.
run: build
	@test -e $(BUILD)/bin/PhoneBook.DAT || $(BUILD)/bin/telvora-db create-phonebook $(BUILD)/bin
	$(BUILD)/bin/telvora

# The windows drawn offscreen into $(BUILD)/screenshots/*.png.
screenshots: build
	$(BUILD)/bin/telvora-screenshots $(BUILD)/screenshots

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTELVORA_SANITIZE=ON

asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The sanitizer run comes last so that CTest's summary closes the output.
test: test-plain test-asan

# The benchmarks (not part of `make test`): builds every benchmark program
# in the normal build, runs each and writes their figures beside SQLite's,
# with the machine and the date, to bench/REPORT.md, which it prints.
# BENCH_ARGS passes sizes and options to the index benchmark, e.g.
# make bench BENCH_ARGS="--finds 5000 20000 200000"; CURSOR_BENCH_ARGS to the
# cursor benchmark, e.g. make bench CURSOR_BENCH_ARGS="--go-to-size 1000000";
# FILTER_BENCH_ARGS to the search-as-you-type benchmark, e.g.
# FILTER_BENCH_ARGS="--sizes 100000 1000000"; APP_BENCH_ARGS to the phone
# book window's benchmark, e.g. APP_BENCH_ARGS="--size 100000";
# any program telvora-bench-NAME reads BENCH_ARGS_NAME from the environment.
BENCH_ARGS ?=
CURSOR_BENCH_ARGS ?=
FILTER_BENCH_ARGS ?=
APP_BENCH_ARGS ?=
bench: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target telvora-benchmarks
	BENCH_ARGS_index="$(BENCH_ARGS)" BENCH_ARGS_cursor="$(CURSOR_BENCH_ARGS)" \
	  BENCH_ARGS_filter="$(FILTER_BENCH_ARGS)" BENCH_ARGS_app="$(APP_BENCH_ARGS)" \
	  scripts/run-bench.sh $(BUILD) bench/REPORT.md

# Every fuzz target under libFuzzer with ASan and UBSan for FUZZ_SECONDS
# each (not part of `make test`, which replays the checked-in corpus), in a
# clang build of its own. New inputs go to $(FUZZ_BUILD)/corpus/, crashes to
# $(FUZZ_BUILD)/artifacts/. E.g. make fuzz FUZZ_SECONDS=300 FUZZ_ONLY=expression
FUZZ_ONLY ?=
fuzz-deps:
	@scripts/install-deps.sh fuzz

$(FUZZ_BUILD)/build.ninja: | fuzz-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVORA_FUZZ=ON

fuzz: fuzz-deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target telvora-fuzz-programs
	scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_ONLY)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
