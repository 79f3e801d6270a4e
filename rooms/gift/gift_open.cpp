// Opening a gift in the game: a gift file given on the command line, by another start
// or dropped on the window. The boxes go onto the shelf and a message says who sent them.
#include "rooms/gift/gift.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "res/lang.h"
#include "rooms/store/storeroom.h"
#include "ui/stdwin.h"

constexpr int32_t GIFT_SHOWN_DEDICATION = 800;  // bytes of the dedication a message shows
constexpr int32_t GIFT_SHOWN_LINES = 14;

enum : int32_t {
    GIFT_TEXT_FROM = 177,
    GIFT_TEXT_FOR_YOU = 178,
    GIFT_TEXT_CANNOT_OPEN = 179,
    GIFT_TEXT_BOXES_IN = 180,
    GIFT_TEXT_BOX_IN = 181,
};

// The dedication as a message shows it: its first lines, cut at a whole character.
static void shown_dedication(const char *dedication, char *out, size_t size)
{
    size_t n = 0, lines = 1;
    while (dedication[n] && n < (size_t)GIFT_SHOWN_DEDICATION && n + 4 < size && lines <= (size_t)GIFT_SHOWN_LINES) {
        if (dedication[n] == '\n')
            lines++;
        n++;
    }
    while (n > 0 && ((unsigned char)dedication[n] & 0xC0) == 0x80)
        n--;
    memcpy(out, dedication, n);
    strcpy(out + n, dedication[n] ? "..." : "");
}

void gift_open(const char *path)
{
    static GiftContents contents;
    static char names[GIFT_BOXES_MAX][BOX_NAME_MAX + 1];
    char text[2048];
    io_log("gift: opening %s\n", path);
    if (!gift_read(path, &contents) || !gift_install(path, &contents, names)) {
        io_log("gift: %s\n", gift_reason());
        snprintf(text, sizeof text, lt_get(GIFT_TEXT_CANNOT_OPEN), gift_reason());
        msg_box(text, MB_OK);
        return;
    }
    for (int32_t i = 0; i < contents.count; i++) {
        io_log("gift: %s is on the shelf\n", names[i]);
        storeroom_box_handed_in(names[i]);
    }
    int n = 0;
    if (contents.sender[0])
        n = snprintf(text, sizeof text, lt_get(GIFT_TEXT_FROM), contents.sender);
    else
        n = snprintf(text, sizeof text, "%s", lt_get(GIFT_TEXT_FOR_YOU));
    if (contents.dedication[0] && n < (int)sizeof text) {
        char shown[GIFT_SHOWN_DEDICATION + 8];
        shown_dedication(contents.dedication, shown, sizeof shown);
        n += snprintf(text + n, sizeof text - (size_t)n, "\n\n%s", shown);
    }
    if (n < (int)sizeof text - 2) {
        n += snprintf(text + n, sizeof text - (size_t)n, "\n\n");
        if (contents.count == 1)
            snprintf(text + n, sizeof text - (size_t)n, lt_get(GIFT_TEXT_BOX_IN), names[0]);
        else
            snprintf(text + n, sizeof text - (size_t)n, lt_get(GIFT_TEXT_BOXES_IN), contents.count);
    }
    msg_box(text, MB_OK);
}
