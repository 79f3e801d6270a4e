#!/bin/sh
# The game's launcher: prepares the game folder and starts the game in it. The game
# keeps every path relative to the folder it starts in, so this is where its files live.
#   run-game.sh BUILD_DIR [game options...]   (`make run`: everything from the build)
#   pelmora [game options...]                 (installed: the folders below filled in)
set -eu
program_dir='@PELMORA_PROGRAM_DIR@'  # the game and the gift player
data_dir='@PELMORA_DATA_DIR@'        # data.pck
case $program_dir in
  @*)
    if [ $# -lt 1 ]; then
      echo "usage: run-game.sh BUILD_DIR [game options...]" >&2
      exit 2
    fi
    program_dir=$1
    data_dir=$1
    shift
    ;;
esac

# A gift named from where the player stands is named in full before the game moves
# into its folder (the desktop passes full paths already).
count=$#
for arg do
  case $arg in
    /*) ;;
    *.[gG][iI][fF][tT]) if [ -f "$arg" ]; then arg=$PWD/$arg; fi ;;
  esac
  set -- "$@" "$arg"
done
shift "$count"

game_dir=${PELMORA_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/pelmora}
mkdir -p "$game_dir/sfiles" "$game_dir/puzzles"
# Each copied under a temporary name, so a game starting meanwhile never sees half a
# file. The game puts the gift player at the front of every gift it makes.
install_copy() {
  if [ -f "$1" ]; then
    cp -f "$1" "$2.new"
    mv -f "$2.new" "$2"
  fi
}
install_copy "$data_dir/data.pck" "$game_dir/data.pck"
install_copy "$program_dir/pelmora-loader" "$game_dir/sfiles/loader.dat"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
  echo "No display found. To run without one, set SDL_VIDEODRIVER=dummy." >&2
  exit 1
fi
cd "$game_dir"
echo "Pelmora runs in $game_dir"
exec "$program_dir/pelmora" "$@"
