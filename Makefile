# Pelmora: `make run` builds and starts the game, `make test` builds and runs every test.
# Both install missing Debian packages first (see scripts/deps.sh).

BUILD     := build
SANBUILD  := build-san
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
ARGS      ?=

.PHONY: all deps build sanbuild run test bench clean

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

clean:
	rm -rf $(BUILD) $(SANBUILD)
