#!/bin/sh
# Prepares the game folder and starts the game in it. The game keeps every path
# relative to the folder it starts in, so this is where its files live.
#   run-game.sh BUILD_DIR [game options...]
set -eu
build=$1
shift
game_dir=${PELMORA_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/pelmora}
mkdir -p "$game_dir/sfiles" "$game_dir/puzzles"
if [ -f "$build/data.pck" ]; then
  # Copied under a temporary name, so a game starting meanwhile never sees half a pack.
  cp -f "$build/data.pck" "$game_dir/data.pck.new"
  mv -f "$game_dir/data.pck.new" "$game_dir/data.pck"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
  echo "No display found. To run without one: SDL_VIDEODRIVER=dummy make run" >&2
  exit 1
fi
cd "$game_dir"
echo "Pelmora runs in $game_dir"
exec "$build/pelmora" "$@"
