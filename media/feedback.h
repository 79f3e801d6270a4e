// The force-feedback mouse: a library of seven entry points looked up by name. No such
// library exists for Linux today, so force feedback normally stays off and every effect
// call does nothing; the call sites are the game's all the same.
#pragma once
#include <cstdint>

// Whether both libraries of the force-feedback mouse are found ("libfbmouse.so" and
// "libifc21.so", or the names in PELMORA_FBMOUSE_LIB / PELMORA_IFC21_LIB).
bool fb_present(void);

// Loads the library and looks up its entry points; false (nothing loaded) when it is
// missing or lacks fbmouse_init.
bool fb_load(void);
// Switches force feedback off when it is on, then forgets the library.
void fb_unload(void);
// On: fb_active becomes what fbmouse_init returns. Off: fbmouse_done. Nothing when the
// library is not loaded or the state already is `on`.
void fb_enable(bool on);
bool fb_active(void);

// The effects; each does nothing unless force feedback is on and its entry point exists.
void fb_pop(int32_t value);                                       // a button under the mouse (3000), pieces join (5000)
void fb_bound(int32_t x, int32_t y, int32_t width, int32_t height);  // a slider's thumb taken: its window on the screen
void fb_bound_start(void);
void fb_bound_stop(void);
void fb_applause(void);                                           // a puzzle is finished
