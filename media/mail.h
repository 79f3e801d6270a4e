// Sending a gift by mail through the desktop's mail program: xdg-email opens the
// player's compose window with the subject, text and attachment filled in, and the
// player picks the recipients there. Without xdg-email mail is simply unavailable.
#pragma once
#include <cstdint>

// Looks for an executable xdg-email in the folders of PATH (absolute ones only) and
// takes the current folder as the one to return to after each send. No PATH, or no
// xdg-email on it: mail is unavailable. Called by kernel_init.
void mail_load(void);

// Forgets the mail program and empties the result text.
void mail_unload(void);

// Whether mail_load found the mail program.
bool mail_available(void);

// Opens the mail program's compose window with `subject`, `text` (left out when empty)
// and `attachment` (left out when null or empty; a relative path is taken from the
// start-up folder), waits until the mail program returns, and goes back to the start-up
// folder. The result text then holds "%s\nResult code:%i"; mail_send returns 1 when the
// message was sent (code 0), else 0. Unavailable mail returns 0 with an empty result.
int32_t mail_send(const char *subject, const char *text, const char *attachment);

// The result text of the latest send: "" before any send and when mail is unavailable.
const char *mail_result(void);

// The text of a mail result code ("The unknown error code. No message was sent." for
// a code the mail service does not define).
const char *mail_code_text(int32_t code);
