// Small services the rooms and the toolkit call: files and folders, safe file names,
// the wallpaper, time and date texts, opening documents and web pages, picture sizes.
#pragma once
#include <cstdint>

// The user's documents folder (xdg-user-dir DOCUMENTS, else $HOME); "" on failure.
void io_documents_folder(char *buffer, int32_t size);

// Copies a file, replacing `to` only once the copy is complete; the copy is writable
// whatever the source's permissions. 1 on success.
int32_t file_copy(const char *from, const char *to);

// Deletes `to`, then renames `from` to `to`. 1 on success.
int32_t file_move(const char *from, const char *to);

// The start-up directory with '/' separators.
void current_dir(char *buffer, int32_t size);

// Enumerates "folder/pattern" (the pattern matched without regard to letter case):
// kind 0 files only, kind 1 folders only without "." and "..". dir_first starts a new
// enumeration (one at a time), 0 when nothing matches or the folder cannot be read;
// dir_next gives the next name (without its folder), 1 per entry, 0 at the end. Names
// come sorted without regard to letter case.
enum { DIR_FILES = 0, DIR_FOLDERS = 1 };
int32_t dir_first(int32_t kind, const char *pattern);
int32_t dir_next(char *buffer, int32_t size);

// The whole file as a zero-terminated text from io_mem_alloc, or null when the file is
// missing, empty or unreadable.
char *file_read_text(const char *name);

// Writes the text (without its zero) replacing the file safely. 1 on success.
int32_t file_write_text(const char *name, const char *text);

// Turns a player's text into a file name that stays inside its folder (out holds at
// least strlen(text) + 2 bytes). 1 when the result is not empty.
int32_t safe_file_name(char *out, const char *text);

// Copies a BMP picture beside the game's settings as name.bmp and makes it the desktop
// wallpaper where the desktop is known. 1 on success.
int32_t set_wallpaper(const char *picture, const char *name);

// "%i:%02i" below an hour, else "%i:%i:%02i".
void format_duration(int32_t seconds, char *buffer, int32_t size);

// Today's date in the user's long date form, at most 64 characters.
void format_today(char *buffer, int32_t size);

// Opens a file or web address with the desktop's handler (xdg-open, no shell). On
// failure shows the message box naming the target and returns 0.
int32_t open_document(const char *target);

// The double-click interval in milliseconds: SDL's hint SDL_MOUSE_DOUBLE_CLICK_TIME
// when it is set to a number from 1 to 5000, else 500, the desktops' usual value.
int32_t io_double_click_time(void);
// The maker's web address followed by `page`.
void maker_page(char *buffer, int32_t size, const char *page);

// Shrinks (w, h) to fit within max_w x max_h keeping proportions, or with `force` also
// grows it; nothing changes when it fits already and force is clear.
void fit_size(int32_t max_w, int32_t max_h, int32_t *w, int32_t *h, int32_t force);

// The play table for a screen size: (screen_w - 20, screen_h - 80).
void table_size(int32_t screen_w, int32_t screen_h, int32_t *w, int32_t *h);

// The smallest standard screen whose table holds w x h; 0 when none does.
int32_t needed_screen(int32_t w, int32_t h, int32_t *screen_w, int32_t *screen_h);
