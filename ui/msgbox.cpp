// The two shared modal dialogs: the message box and the text entry. Each is one window
// made at start-up and shown while a caller waits for its answer; the game keeps
// running and drawing underneath.
#include "ui/stdwin.h"

#include <algorithm>

#include "ui/dialog.h"
#include "platform/config.h"
#include "platform/log.h"
#include "res/lang.h"
#include "ui/button.h"
#include "ui/skin.h"
#include "ui/text.h"
#include "ui/window.h"

constexpr int32_t MSGBOX_WIDTH = 320, MSGBOX_HEIGHT = 150;
constexpr int32_t MSGBOX_TEXT_X = 10, MSGBOX_TEXT_Y = 23;
constexpr int32_t MSGBOX_WRAP = 300;
constexpr int32_t MSGBOX_TALL_TEXT = 98;   // from this text height on the box grows with it
constexpr int32_t MSGBOX_TEXT_ROOM = 52;   // title bar, margins and the button bar around the text
constexpr int32_t MSGBOX_ICON_OK = 45, MSGBOX_ICON_CANCEL = 43;
constexpr int32_t MSGBOX_SLOT_FIRST = 1, MSGBOX_SLOT_SECOND = 0;  // OK left of Cancel
constexpr int32_t ENTRY_LINE_HEIGHT = 25, ENTRY_LINES_HEIGHT = 98;

// One shared dialog: its window, button bar and the two buttons.
struct SharedDialog {
    int32_t window = -1, bar = -1, first = -1, second = -1;
};

static struct {
    SharedDialog box, entry;
    const char *text = nullptr;  // the caller's, only while msg_box waits
    bool centred = false;
} mb;

// The text area both dialogs share: the message panel between title bar and button bar.
static void draw_panel(int32_t width, int32_t height)
{
    skin_panel(SKIN_PANEL_MESSAGE, 0, TW_TITLE_HEIGHT, width, height - TW_TITLE_HEIGHT - BUTTONBAR_HEIGHT);
}

// Buttons and keys answer alike: the first button and Enter 1, the second and Escape 0.
// Only the dialog on top answers, so a late click never ends the one below it.
static int32_t answer(const SharedDialog &d, const IoEvent *event, int32_t take_texts)
{
    int32_t result = -1;
    if (event->code == TW_CLICKED)
        result = event->a == d.first ? 1 : event->a == d.second ? 0 : -1;
    else if (event->code == IO_KEY_DOWN)
        result = event->a == IO_VK_ENTER ? 1 : event->a == IO_VK_ESCAPE ? 0 : -1;
    if (result < 0)
        return 0;
    if (window_modal() == d.window)
        window_end_modal(result, result == 1 && take_texts);
    return 1;
}

static void make_dialog(SharedDialog *d, int32_t (*handler)(int32_t, IoEvent *))
{
    d->window = window_register(-1, TWS_MODAL | TWS_FRAME, 0, 0, MSGBOX_WIDTH, MSGBOX_HEIGHT, handler, nullptr);
    window_set_title(d->window, kernel_config.title);
    d->bar = buttonbar_create(d->window);
    d->first = buttonbar_add(d->bar, MSGBOX_SLOT_FIRST, 0, nullptr, MSGBOX_ICON_OK, IO_VK_ENTER, -1);
    d->second = buttonbar_add(d->bar, MSGBOX_SLOT_SECOND, 0, nullptr, MSGBOX_ICON_CANCEL, IO_VK_ESCAPE, -1);
    window_show(d->window, 0);
}

// Shows a shared dialog modally and hides it again once it is answered.
static int32_t run_dialog(const SharedDialog &d, IoDialogField *fields)
{
    window_show(d.window, 1);
    int32_t result = window_focus_modal(d.window, fields);
    window_show(d.window, 0);
    return result;
}

// --- message box ---

static void msgbox_font(void)
{
    text_set_font(&font_small, skin_color(SKIN_COLOR_MSGBOX_TEXT), skin_color(SKIN_COLOR_MSGBOX_TEXT_SHADOW));
    text_set_layout(mb.centred ? 1 : 0, MSGBOX_WRAP);
}

static int32_t msgbox_handler(int32_t window, IoEvent *event)
{
    switch (event->code) {
    case IO_FRAME: {
        draw_panel((int32_t)event->a, (int32_t)event->b);
        if (mb.text) {
            int32_t sx, sy;
            window_screen_position(window, &sx, &sy);
            msgbox_font();
            window_text_draw(sx, sy, mb.text, MSGBOX_TEXT_X, MSGBOX_TEXT_Y);
        }
        return 0;
    }
    case TW_CLICKED:
    case IO_KEY_DOWN: return answer(mb.box, event, 0);
    case TW_DESTROY: mb.box = {}; return 0;
    default: return 0;
    }
}

void msgbox_init(void)
{
    make_dialog(&mb.box, msgbox_handler);
}

int32_t msgbox_window(void)
{
    return mb.box.window;
}

const char *msgbox_text(void)
{
    return mb.text;
}

int32_t msgbox_height(int32_t text_height)
{
    return text_height >= MSGBOX_TALL_TEXT ? text_height + MSGBOX_TEXT_ROOM : MSGBOX_HEIGHT;
}

int32_t msg_box(const char *text, uint32_t flags)
{
    if (mb.box.window < 0)
        io_error("msg_box: no message box yet (%s)\n", text ? text : "");
    // A question asked from inside the box itself (a handler below it) keeps the box's
    // text; the toolkit refuses the second modal anyway.
    const char *kept_text = mb.text;
    bool kept_centred = mb.centred;
    mb.text = text ? text : "";
    mb.centred = (flags & MB_CENTRE) != 0;
    int32_t tw, th;
    msgbox_font();
    text_measure(mb.text, &tw, &th);
    window_resize(mb.box.window, MSGBOX_WIDTH, msgbox_height(th));
    buttonbar_show(mb.box.bar, MSGBOX_SLOT_FIRST, (flags & (MB_OK | MB_YES)) ? 0 : -1);
    buttonbar_show(mb.box.bar, MSGBOX_SLOT_SECOND, (flags & (MB_CANCEL | MB_NO)) ? 0 : -1);
    int32_t result = run_dialog(mb.box, nullptr);
    mb.text = kept_text;
    mb.centred = kept_centred;
    return result;
}

int32_t msg_box_text(int32_t number, uint32_t flags)
{
    return msg_box(lt_get(number), flags);
}

// --- text entry ---

static struct {
    int32_t field_height = ENTRY_LINE_HEIGHT;  // of the field shown now, for its frame
} entry;

static int32_t entry_handler(int32_t, IoEvent *event)
{
    switch (event->code) {
    case IO_FRAME:
        draw_panel((int32_t)event->a, (int32_t)event->b);
        // The edit field is drawn over this by the dialog; the bevel frames it.
        skin_bevel(MSGBOX_TEXT_X - 1, MSGBOX_TEXT_Y - 1, MSGBOX_WRAP + 2, entry.field_height + 2);
        return 0;
    case TW_CLICKED:
    case IO_KEY_DOWN: return answer(mb.entry, event, 1);
    case TW_DESTROY: mb.entry = {}; return 0;
    default: return 0;
    }
}

void text_entry_init(void)
{
    make_dialog(&mb.entry, entry_handler);
}

int32_t text_entry_window(void)
{
    return mb.entry.window;
}

int32_t text_entry(const char *title, char *buffer, int32_t size, int32_t multiline)
{
    if (mb.entry.window < 0)
        io_error("text_entry: no text entry yet (%s)\n", title ? title : "");
    if (!buffer || size < 1)
        io_error("text_entry: no buffer for %s\n", title ? title : "");
    entry.field_height = multiline ? ENTRY_LINES_HEIGHT : ENTRY_LINE_HEIGHT;
    window_set_title(mb.entry.window, title);
    // The field edits a copy of the buffer's text; the dialog writes it back only when
    // asked to, which happens on confirming.
    IoDialogField fields[2] = {};
    fields[0].flags = multiline ? IO_FIELD_LINES : IO_FIELD_LINE;
    fields[0].x = MSGBOX_TEXT_X;
    fields[0].y = MSGBOX_TEXT_Y;
    fields[0].width = MSGBOX_WRAP;
    fields[0].height = entry.field_height;
    fields[0].text = buffer;
    fields[0].size = size;
    return run_dialog(mb.entry, fields);
}
