// Making a gift: the dialog that asks for the sender's name, a dedication and whether the
// pictures stay a surprise; the gift file written front to back; and the mail that takes
// it to a friend.
#include "rooms/gift/gift.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "chunk/chunk.h"
#include "media/mail.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/services.h"
#include "platform/video.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/settings.h"
#include "rooms/box/shelf.h"
#include "ui/button.h"
#include "ui/dialog.h"
#include "ui/skin.h"
#include "ui/stdwin.h"
#include "ui/text.h"
#include "ui/window.h"

GiftState gift;

enum : int32_t {
    GIFT_TEXT_TITLE = 170,
    GIFT_TEXT_NAME = 171,
    GIFT_TEXT_DEDICATION = 172,
    GIFT_TEXT_SURPRISE = 173,
    GIFT_TEXT_MAIL = 174,
    GIFT_TEXT_SAVE = 175,
    GIFT_TEXT_CANCEL = 176,
    GIFT_TEXT_NO_BOX = 183,
    GIFT_TEXT_FAILED = 184,
    GIFT_TEXT_NOT_SENT = 185,
};

constexpr int32_t GIFT_WIDTH = 361, GIFT_HEIGHT = 271;
constexpr int32_t GIFT_FIELD_X = 10, GIFT_FIELD_W = 341;
constexpr int32_t GIFT_NAME_LABEL_Y = 23, GIFT_NAME_Y = 43, GIFT_NAME_H = 25;
constexpr int32_t GIFT_DEDICATION_LABEL_Y = 73, GIFT_DEDICATION_Y = 93, GIFT_DEDICATION_H = 125;
constexpr int32_t GIFT_SURPRISE_Y = 223, GIFT_SURPRISE_W = 341, GIFT_SURPRISE_H = 18;
constexpr int32_t GIFT_CHECK_ICON = 2;  // the skin's check box
constexpr int32_t GIFT_BUTTON_W = 110;
constexpr const char *GIFT_SECTION = "MAIN";
constexpr const char *GIFT_FOLDER_KEY = "GiftFolder";

// --- the file name ---

// Cuts a UTF-8 text to at most `max` bytes without splitting a character.
static void cut_utf8(char *text, size_t max)
{
    size_t n = strlen(text);
    if (n <= max)
        return;
    n = max;
    while (n > 0 && ((unsigned char)text[n] & 0xC0) == 0x80)
        n--;
    text[n] = 0;
}

// A text cleaned into a file name; false when nothing usable is left.
static bool cleaned_name(const char *text, char *out)
{
    size_t n = strlen(text);
    if (n > 4 * (size_t)GIFT_NAME_MAX)
        return false;
    char work[4 * GIFT_NAME_MAX + 2];
    if (!safe_file_name(work, text))
        return false;
    cut_utf8(work, (size_t)GIFT_FILE_NAME_MAX);
    // A cut may leave a trailing blank or dot, which file managers hide or drop.
    size_t len = strlen(work);
    while (len > 0 && (work[len - 1] == ' ' || work[len - 1] == '.'))
        work[--len] = 0;
    if (!len)
        return false;
    strcpy(out, work);
    return true;
}

void gift_file_name(const char *name, const char *first_box, char *out)
{
    if (!cleaned_name(name ? name : "", out) && !cleaned_name(first_box ? first_box : "", out))
        strcpy(out, "Present");
    strcat(out, GIFT_EXTENSION);
}

// --- the gift file ---

// The text written to the scratch file and appended as the entry `stored`.
static bool append_text(FILE *f, const char *text, const char *stored)
{
    return file_write_text(GIFT_SCRATCH, text) && chunk_append_entry(f, GIFT_SCRATCH, stored);
}

// A box as an entry with its surprise field set: the box file is copied straight into
// the gift with the field's four bytes changed on the way, so neither the sender's file
// nor a scratch copy is written. A box without the field (no box of ours) fails the gift.
static bool append_surprise(FILE *f, const char *path, const char *stored)
{
    FILE *src = chunk_open(path, "rb");
    if (!src)
        return false;
    int64_t size = chunk_file_size(src);
    uint32_t length = 0;
    bool ok = size > 0 && size <= (int64_t)UINT32_MAX && chunk_expect_u32(src, CHUNK_BOX1) &&
              fseeko(src, 20, SEEK_CUR) == 0 && chunk_find(src, BOX_TAG_SURPRISE, &length) && length == 4;
    int64_t field = ok ? ftello(src) : -1;
    static const uint8_t surprise[4] = {1, 0, 0, 0};
    size_t name_length = strlen(stored);
    ok = ok && field > 0 && fseeko(src, 0, SEEK_SET) == 0 && chunk_write_u32(f, CHUNK_LMPF) &&
         chunk_write_u32(f, (uint32_t)name_length) && chunk_write_exact(f, stored, name_length) &&
         chunk_write_u32(f, (uint32_t)size) && chunk_copy(f, src, (uint64_t)field) &&
         chunk_write_exact(f, surprise, 4) && fseeko(src, field + 4, SEEK_SET) == 0 &&
         chunk_copy(f, src, (uint64_t)(size - field - 4));
    fclose(src);
    if (!ok)
        io_log("gift: %s cannot go as a surprise\n", path);
    return ok;
}

// One box as an entry under its own file name.
static bool append_box(FILE *f, const char *name, int32_t surprise)
{
    char path[IO_PATH_MAX], stored[IO_PATH_MAX];
    if (!box_path(path, sizeof path, name)) {
        io_log("gift: '%s' is not a box name\n", name);
        return false;
    }
    const char *base = strrchr(path, '/');
    snprintf(stored, sizeof stored, "%s", base ? base + 1 : path);
    return surprise ? append_surprise(f, path, stored) : chunk_append_entry(f, path, stored);
}

int gift_write(const char *path, const char *name, const char *dedication, int32_t surprise, const char *const *boxes,
               int32_t count)
{
    SafeFile sf;
    if (!safe_file_open(&sf, path)) {
        io_log("gift: %s cannot be created\n", path);
        return 0;
    }
    bool ok = chunk_append_raw(sf.f, GIFT_PLAYER);
    if (ok && name && *name)
        ok = append_text(sf.f, name, GIFT_ENTRY_NAME);
    if (ok && dedication && *dedication)
        ok = append_text(sf.f, dedication, GIFT_ENTRY_DEDICATION);
    // The installation's present file goes along when there is one; a gift is whole
    // without it.
    if (ok && file_exists(GIFT_PRESENT))
        ok = chunk_append_entry(sf.f, GIFT_PRESENT, GIFT_ENTRY_PRESENT);
    for (int32_t i = 0; ok && i < count; i++)
        ok = append_box(sf.f, boxes[i], surprise);
    file_delete(GIFT_SCRATCH);
    // The gift is a program the friend may start.
    if (ok) {
        mode_t mask = umask(0);
        umask(mask);
        ok = fchmod(fileno(sf.f), 0777 & ~mask) == 0;
    }
    if (!ok) {
        safe_file_abort(&sf);
        return 0;
    }
    return safe_file_commit(&sf);
}

// --- mailed gifts ---

// A fresh folder of its own for each mailed gift, so a second gift of the same name
// never replaces an attachment the mail program has not yet read.
static bool mail_path(const char *file_name, char *out, size_t size)
{
    make_dir("sfiles");
    make_dir(GIFT_MAIL_FOLDER);
    for (int32_t n = 0; n < 1000; n++) {
        char folder[IO_PATH_MAX];
        snprintf(folder, sizeof folder, "%s/%lld-%d", GIFT_MAIL_FOLDER, (long long)time(nullptr), n);
        if (mkdir(folder, 0755) == 0)
            return (size_t)snprintf(out, size, "%s/%s", folder, file_name) < size;
    }
    return false;
}

void gift_trim_mail(void)
{
    DIR *dir = opendir(GIFT_MAIL_FOLDER);
    if (!dir)
        return;
    time_t now = time(nullptr);
    while (dirent *e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        char folder[IO_PATH_MAX + 256];
        struct stat st;
        snprintf(folder, sizeof folder, "%s/%s", GIFT_MAIL_FOLDER, e->d_name);
        if (lstat(folder, &st) != 0 || !S_ISDIR(st.st_mode) || now - st.st_mtime < GIFT_MAIL_KEEP_S)
            continue;
        // Each folder holds the one gift file it was made for.
        if (DIR *inner = opendir(folder)) {
            while (dirent *f = readdir(inner)) {
                if (strcmp(f->d_name, ".") == 0 || strcmp(f->d_name, "..") == 0)
                    continue;
                char file[IO_PATH_MAX + 512];
                snprintf(file, sizeof file, "%s/%s", folder, f->d_name);
                file_delete(file);
            }
            closedir(inner);
        }
        rmdir(folder);
    }
    closedir(dir);
}

// --- the dialog ---

static void dialog_draw(int32_t width, int32_t height)
{
    int32_t sx, sy;
    window_screen_position(gift.window, &sx, &sy);
    skin_panel(SKIN_PANEL_DIALOG, 0, TW_TITLE_HEIGHT, width, height - TW_TITLE_HEIGHT);
    text_set_font(&font_dialog, skin_color(SKIN_COLOR_MSGBOX_TEXT), TEXT_NONE);
    text_set_layout(0, GIFT_FIELD_W);
    char label[256];
    snprintf(label, sizeof label, "%s:", lt_get(GIFT_TEXT_NAME));
    window_text_draw(sx, sy, label, GIFT_FIELD_X, GIFT_NAME_LABEL_Y);
    snprintf(label, sizeof label, "%s:", lt_get(GIFT_TEXT_DEDICATION));
    window_text_draw(sx, sy, label, GIFT_FIELD_X, GIFT_DEDICATION_LABEL_Y);
    // The fields are drawn over these by the dialog; the bevels frame them.
    skin_bevel(GIFT_FIELD_X - 1, GIFT_NAME_Y - 1, GIFT_FIELD_W + 2, GIFT_NAME_H + 2);
    skin_bevel(GIFT_FIELD_X - 1, GIFT_DEDICATION_Y - 1, GIFT_FIELD_W + 2, GIFT_DEDICATION_H + 2);
}

// Save asks where; a cancelled choice keeps the gift dialog open.
static void choose_save_path(void)
{
    char texts[GIFT_NAME_MAX + 1];
    io_dialog_read(100, texts, (int32_t)sizeof texts);
    char file_name[GIFT_FILE_NAME_MAX + 8];
    gift_file_name(texts, gift.first_box, file_name);
    char path[IO_FILE_PATH_MAX], folder[IO_FILE_PATH_MAX];
    snprintf(path, sizeof path, "%s", file_name);
    snprintf(folder, sizeof folder, "%s", gift.folder);
    static const char filter[] = "Gift File\0*.gift\0\0";
    if (!io_save_file(path, folder, filter))
        return;
    snprintf(gift.path, sizeof gift.path, "%s", path);
    snprintf(gift.folder, sizeof gift.folder, "%s", folder);
    ini_set_string(SETTINGS_CONFIG, GIFT_SECTION, GIFT_FOLDER_KEY, folder);
    window_end_modal(GIFT_SAVE, 1);
}

static int32_t dialog_handler(int32_t, IoEvent *event)
{
    switch (event->code) {
    case IO_FRAME: dialog_draw((int32_t)event->a, (int32_t)event->b); return 0;
    case IO_MOUSE_DOWN:
    case IO_MOUSE_UP:
    case IO_MOUSE_MOVE: return 1;
    case TW_CLICKED:
        if (window_modal() != gift.window)
            return 1;
        if (event->a == gift.mail_button && button_enabled(gift.mail_button))
            window_end_modal(GIFT_MAIL, 1);
        else if (event->a == gift.save_button)
            choose_save_path();
        else if (event->a == gift.cancel_button)
            window_end_modal(GIFT_CANCEL, 0);
        return 1;
    case TW_DESTROY: gift.window = -1; return 0;
    default: return 0;
    }
}

static void make_window(void)
{
    gift.window = window_register(-1, TWS_MODAL | TWS_FRAME, 0, 0, GIFT_WIDTH, GIFT_HEIGHT, dialog_handler, nullptr);
    window_set_title(gift.window, lt_get(GIFT_TEXT_TITLE));
    gift.surprise_box = button_register(gift.window, BS_TOGGLE | BS_ICON | BS_TEXT, GIFT_FIELD_X, GIFT_SURPRISE_Y,
                                        GIFT_SURPRISE_W, GIFT_SURPRISE_H, GIFT_CHECK_ICON, lt_get(GIFT_TEXT_SURPRISE),
                                        0, 0);
    int32_t bar = buttonbar_create(gift.window);
    gift.cancel_button = buttonbar_add(bar, 0, 0, lt_get(GIFT_TEXT_CANCEL), -1, IO_VK_ESCAPE, GIFT_BUTTON_W);
    gift.save_button = buttonbar_add(bar, 1, 0, lt_get(GIFT_TEXT_SAVE), -1, IO_VK_ENTER, GIFT_BUTTON_W);
    gift.mail_button = buttonbar_add(bar, 2, 0, lt_get(GIFT_TEXT_MAIL), -1, 0, GIFT_BUTTON_W);
    buttonbar_layout(bar);
    window_show(gift.window, 0);
}

int32_t gift_dialog(const char *first_box)
{
    if (gift.window < 0)
        make_window();
    gift.name[0] = gift.dedication[0] = 0;
    gift.surprise = 1;
    gift.path[0] = 0;
    snprintf(gift.first_box, sizeof gift.first_box, "%s", first_box ? first_box : "");
    if (!gift.folder[0])
        ini_get_string(SETTINGS_CONFIG, GIFT_SECTION, GIFT_FOLDER_KEY, gift.folder, (int32_t)sizeof gift.folder);
    button_set_state(gift.surprise_box, 1);
    button_enable(gift.mail_button, mail_available());

    IoDialogField fields[3] = {};
    fields[0] = {IO_FIELD_LINE, GIFT_FIELD_X, GIFT_NAME_Y, GIFT_FIELD_W, GIFT_NAME_H, gift.name,
                 (int32_t)sizeof gift.name, 0};
    fields[1] = {IO_FIELD_LINES, GIFT_FIELD_X, GIFT_DEDICATION_Y, GIFT_FIELD_W, GIFT_DEDICATION_H, gift.dedication,
                 (int32_t)sizeof gift.dedication, 0};
    window_show(gift.window, 1);
    int32_t result = window_focus_modal(gift.window, fields);
    window_show(gift.window, 0);
    gift.surprise = button_state(gift.surprise_box) ? 1 : 0;
    gift.result = result == GIFT_MAIL || result == GIFT_SAVE ? result : GIFT_CANCEL;
    return gift.result;
}

// --- the store room's action ---

void gift_make(void)
{
    const char *names[GIFT_BOXES_MAX];
    int32_t count = 0;
    for (ShelfBox *box = shelf.tail; box && count < GIFT_BOXES_MAX; box = box->prev)
        if (box->selected)
            names[count++] = box->name;
    if (!count) {
        msg_box_text(GIFT_TEXT_NO_BOX, MB_OK);
        return;
    }
    if (gift_dialog(names[0]) == GIFT_CANCEL)
        return;
    char path[IO_PATH_MAX];
    if (gift.result == GIFT_MAIL) {
        char file_name[GIFT_FILE_NAME_MAX + 8];
        gift_file_name(gift.name, gift.first_box, file_name);
        gift_trim_mail();
        if (!mail_path(file_name, path, sizeof path)) {
            msg_box_text(GIFT_TEXT_FAILED, MB_OK);
            return;
        }
    } else {
        snprintf(path, sizeof path, "%s", gift.path);
    }
    int cursor = io_get_cursor();
    io_set_cursor(IO_CURSOR_WAIT);
    int ok = gift_write(path, gift.name, gift.dedication, gift.surprise, names, count);
    io_set_cursor(cursor);
    if (!ok) {
        msg_box_text(GIFT_TEXT_FAILED, MB_OK);
        return;
    }
    if (gift.result != GIFT_MAIL)
        return;
    // The mail program may read the attachment long after it returns; the file waits
    // in its folder and goes a day later.
    if (!mail_send(gift.name, "", path)) {
        // Not taken by the mail program: nothing will read the file.
        file_delete(path);
        if (char *slash = strrchr(path, '/')) {
            *slash = 0;
            rmdir(path);
        }
        char text[1024];
        snprintf(text, sizeof text, "%s\n\n%s", mail_result(), lt_get(GIFT_TEXT_NOT_SENT));
        msg_box(text, MB_OK);
    }
}
