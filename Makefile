# Pelmora: `make run` builds and starts the game, `make test` builds and runs every test.
# Both install missing Debian packages first (see scripts/deps.sh).

BUILD     := build
SANBUILD  := build-san
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
ARGS      ?=
PREFIX    ?= /usr/local
DESTDIR   ?=

FUZZBUILD := build-fuzz
FUZZ_SECONDS ?= 60
# Which targets `make fuzz` runs, by name with or without "fuzz_" (default: all).
FUZZ_TARGETS ?= $(patsubst fuzz/%.cpp,%,$(wildcard fuzz/fuzz_*.cpp))
# Scratch files of the readers that take a path go here; a memory file system keeps
# every file write of a run from waiting for the disk.
FUZZ_TMPDIR ?= $(if $(wildcard /dev/shm),/dev/shm,/tmp)

.PHONY: all deps build game sanbuild run install uninstall test bench fuzz clean

all: build

deps:
	@sh scripts/deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Only what a player runs: the game, its companion command, the log viewer, the gift
# player, the data pack and the desktop icon.
game: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target pelmora pelmora-tool pelmora-logview pelmora-loader data icons

$(SANBUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DPELMORA_SANITIZE=ON -DPELMORA_BENCH=OFF

sanbuild: deps $(SANBUILD)/CMakeCache.txt
	cmake --build $(SANBUILD) -j $(JOBS)

run: game
	@sh scripts/run-game.sh $(abspath $(BUILD)) $(ARGS)

# The desktop's caches of menus, file types and icons are told what changed. Each tool is
# optional and its failure harmless (the desktop then finds out at its next scan); with
# DESTDIR the files are only staged, and the caches are the target system's business.
define refresh_desktop
	@if [ -z "$(DESTDIR)" ]; then \
	  share="$(PREFIX)/share"; \
	  if command -v update-desktop-database >/dev/null 2>&1; then update-desktop-database -q "$$share/applications" || true; fi; \
	  if command -v update-mime-database >/dev/null 2>&1; then update-mime-database "$$share/mime" || true; fi; \
	  if command -v gtk-update-icon-cache >/dev/null 2>&1; then gtk-update-icon-cache -q -t -f "$$share/icons/hicolor" || true; fi; \
	fi
endef

# Puts the game on the desktop under PREFIX (see README.md); `make uninstall` removes
# exactly the files the last install from $(BUILD) wrote.
install: game
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
	$(refresh_desktop)

uninstall:
	DESTDIR="$(DESTDIR)" cmake -DPELMORA_MANIFEST="$(abspath $(BUILD))/install_manifest.txt" -P desktop/uninstall.cmake
	$(refresh_desktop)

# The tests run in the sanitizer build, so memory faults fail the run; the plain build
# is built too, so `make test` proves the game itself compiles.
test: build sanbuild
	cd $(SANBUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

bench: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target pelmora_bench
	$(BUILD)/pelmora_bench

# Runs each fuzz target of FUZZ_TARGETS for FUZZ_SECONDS, one after the other, each on
# its own corpus in build-fuzz/corpus with its seeds from fuzz/seeds; an input that
# makes one fail is kept in build-fuzz/artifacts and stops the run.
# Example: make fuzz FUZZ_TARGETS="ini lang" FUZZ_SECONDS=120
fuzz:
	@sh scripts/deps.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPELMORA_FUZZ=ON -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF
	cmake --build $(FUZZBUILD) -j $(JOBS)
	@mkdir -p $(FUZZBUILD)/artifacts
	@for t in $(FUZZ_TARGETS); do \
	  name=fuzz_$${t#fuzz_}; \
	  if [ ! -x $(FUZZBUILD)/$$name ]; then echo "no fuzz target $$name"; exit 1; fi; \
	  mkdir -p $(FUZZBUILD)/corpus/$$name; \
	  seeds=fuzz/seeds/$$name; [ -d $$seeds ] || seeds=; \
	  echo "== $$name"; \
	  TMPDIR=$(FUZZ_TMPDIR) $(FUZZBUILD)/$$name -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=1024 \
	    -artifact_prefix=$(FUZZBUILD)/artifacts/$$name- \
	    $(FUZZBUILD)/corpus/$$name $$seeds > $(FUZZBUILD)/$$name.log 2>&1; \
	  status=$$?; grep -E 'DONE|^Done|^SUMMARY|^fuzz:' $(FUZZBUILD)/$$name.log | tail -n 3; \
	  if [ $$status -ne 0 ]; then echo "$$name failed: see $(FUZZBUILD)/$$name.log"; exit 1; fi; \
	done

clean:
	rm -rf $(BUILD) $(SANBUILD) $(FUZZBUILD)
