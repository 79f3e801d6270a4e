// Toolkit windows remembered between runs: a room's panels and tool windows keep where
// the player put them, their size, whether they were shown and whether collapsed.
#pragma once
#include <cstdint>

#include "res/settings.h"

// Writes the window's placement under section/key of the config file.
void settings_save_window(int32_t window, const char *section, const char *key);
// Applies the saved placement's parts chosen by `what` (SETTINGS_SIZE, then
// SETTINGS_POSITION rescaled to this screen, SETTINGS_SHOWN, SETTINGS_COLLAPSED), then
// keeps the window on the screen. Nothing when no placement was saved. 1 when one was.
int32_t settings_load_window(int32_t window, const char *section, const char *key, int32_t what);
