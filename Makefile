# Pelmora: `make run` builds and starts the game, `make test` builds and runs every test.
# Both install missing Debian packages first (see scripts/deps.sh).

BUILD     := build
SANBUILD  := build-san
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
ARGS      ?=

FUZZBUILD := build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps build sanbuild run test bench fuzz clean

all: build

deps:
	@sh scripts/deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

$(SANBUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DPELMORA_SANITIZE=ON -DPELMORA_BENCH=OFF

sanbuild: deps $(SANBUILD)/CMakeCache.txt
	cmake --build $(SANBUILD) -j $(JOBS)

run: build
	@sh scripts/run-game.sh $(abspath $(BUILD)) $(ARGS)

# The tests run in the sanitizer build, so memory faults fail the run; the plain build
# is built too, so `make test` proves the game itself compiles.
test: build sanbuild
	cd $(SANBUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/pelmora_bench

# Runs every fuzz target for FUZZ_SECONDS, each on its own corpus in build-fuzz/corpus.
fuzz:
	@sh scripts/deps.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPELMORA_FUZZ=ON -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF
	cmake --build $(FUZZBUILD) -j $(JOBS)
	@for t in $(FUZZBUILD)/fuzz_*; do \
	  name=$$(basename $$t); mkdir -p $(FUZZBUILD)/corpus/$$name; \
	  echo "== $$name"; \
	  $$t -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=1024 $(FUZZBUILD)/corpus/$$name fuzz/seeds/$$name 2>&1 | tail -n 3 || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(SANBUILD) $(FUZZBUILD)
