#!/bin/sh
# Makes sure every Debian package the game needs to build, test and run is present.
# As root the missing ones are installed with apt-get; otherwise the one line to run
# is printed and the build stops, so nothing half-works later for a missing library.
set -eu

# Music is SDL2_mixer's FluidSynth, which needs a General MIDI SoundFont to play MIDI.
PACKAGES="make cmake g++ pkg-config libsdl2-dev libsdl2-mixer-dev timgm6mb-soundfont libjpeg62-turbo-dev libtiff-dev libpng-dev libgtest-dev libbenchmark-dev libfreetype-dev fonts-dejavu-core"
# `make fuzz` also needs clang and its libFuzzer runtime.
if [ "${1:-}" = "--fuzz" ]; then
  PACKAGES="$PACKAGES clang libclang-rt-dev"
fi

missing=""
for p in $PACKAGES; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing
else
  echo "Pelmora needs these Debian packages. Run this once, then try again:"
  echo "  sudo apt-get install -y --no-install-recommends$missing"
  exit 1
fi
