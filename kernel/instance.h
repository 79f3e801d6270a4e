// The door of the running game: a second start knocks, asks the running copy to come
// forward and leaves; other programs (the gift installer) hand in box names.
#pragma once

#include "kernel/events.h"

// Knocks on the door named `class_name`. When a copy answers, asks it to come to the
// front and returns 1; returns 0 when no copy runs.
int io_instance_forward(const char *class_name);

// Hands a box name to the running copy (it arrives there as IO_TEXT with a = `a`).
// Returns 1 when a copy took it.
int io_instance_send_text(const char *class_name, int a, const char *text);

// Opens the door for later starts. Returns 1, or 0 when another copy already
// listens (the caller then knocks instead).
int io_instance_listen(const char *class_name);

// The door's descriptor for waiting on, -1 when closed.
int io_instance_fd(void);

// Takes the next complete request as a Forward or Message input; 1 when one was taken.
int io_instance_poll(PlatformInput *out);

void io_instance_close(void);
