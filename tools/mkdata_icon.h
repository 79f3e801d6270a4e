// The desktop icon: the game's lit jigsaw piece as PNG files for the desktop's menus and
// file manager. It is not part of data.pck; the build installs it with the game.
#pragma once

// Writes "FOLDER/pelmora-N.png" for each of the `count` sizes (decimal texts, 16 to
// 1024 pixels; the build names them), RGBA, transparent around the piece. Fatal
// (mk_fail) for a size out of range or a file that cannot be written.
void mk_icons(const char *folder, int count, char **sizes);
