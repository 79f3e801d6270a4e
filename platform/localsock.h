// Local sockets on this machine, one per user: the door through which a second start
// reaches the running game, and the line to the log viewer.
#pragma once

// Listens on the socket named `base` for this user; returns the descriptor
// (non-blocking) or -1 when another process already listens there.
int local_listen(const char *base);

// Connects to the socket named `base` for this user; returns the descriptor or -1
// when nobody listens.
int local_connect(const char *base);

// Writes all of `len` bytes; returns 1 on success, 0 when the peer went away.
int local_send_all(int fd, const void *data, int len);

// Closes a descriptor from the calls above; -1 is ignored.
void local_close(int fd);
