// The door of the running game: a second start knocks, asks the running copy to come
// forward and leaves; other programs (the gift installer) hand in box names.
#pragma once

#include "platform/events.h"

// Knocks on the door named `class_name`. When a copy answers, asks it to come to the
// front and returns 1; returns 0 when no copy runs.
int io_instance_forward(const char *class_name);

// Hands a box name to the running copy (it arrives there as IO_TEXT with a = `a`).
// Returns 1 when a copy took it.
int io_instance_send_text(const char *class_name, int a, const char *text);

// Whether a running copy answers at the door `class_name` (nothing is asked of it).
int io_instance_answers(const char *class_name);

// Opens the door for later starts. IO_DOOR_OPEN; IO_DOOR_TAKEN when something already
// holds the name (a running copy, or one that does not answer); IO_DOOR_FAILED when the
// door cannot be opened at all (io_instance_error says why). The door is a convenience:
// without it the game runs alone.
enum { IO_DOOR_FAILED = -1, IO_DOOR_TAKEN = 0, IO_DOOR_OPEN = 1 };
int io_instance_listen(const char *class_name);

// The reason the last io_instance_listen did not open the door, "" when it did.
const char *io_instance_error(void);

// The door's descriptor for waiting on, -1 when closed.
int io_instance_fd(void);

// Takes the next complete request as a Forward or Message input; 1 when one was taken.
int io_instance_poll(PlatformInput *out);

void io_instance_close(void);
