# Two entry points for a fresh machine: `make run` and `make test`.
# Both install missing Debian packages first (scripts/install-deps.sh).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: deps build run screenshots test test-plain test-asan asan bench clean

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

# The benchmarks (not part of `make test`): builds only their programs in
# the normal build and prints the reports. BENCH_ARGS passes sizes and
# options to the index benchmark, e.g. make bench BENCH_ARGS="--finds 5000
# 20000 200000"; CURSOR_BENCH_ARGS to the cursor benchmark, e.g.
# make bench CURSOR_BENCH_ARGS="--go-to-size 1000000"; FILTER_BENCH_ARGS to
# the search-as-you-type benchmark, e.g.
# make bench FILTER_BENCH_ARGS="--sizes 100000 1000000"; APP_BENCH_ARGS to the
# phone book window's benchmark, e.g. make bench APP_BENCH_ARGS="--size 100000".
BENCH_ARGS ?=
CURSOR_BENCH_ARGS ?=
FILTER_BENCH_ARGS ?=
APP_BENCH_ARGS ?=
bench: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target telvora-bench-index telvora-bench-cursor telvora-bench-filter telvora-bench-app
	$(BUILD)/bin/telvora-bench-index $(BENCH_ARGS)
	$(BUILD)/bin/telvora-bench-cursor $(CURSOR_BENCH_ARGS)
	$(BUILD)/bin/telvora-bench-filter $(FILTER_BENCH_ARGS)
	$(BUILD)/bin/telvora-bench-app $(APP_BENCH_ARGS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
