// The platform dialog's edit fields: typing and editing on whole characters, size limits,
// characters the fonts cannot show, the clipboard, lines and scrolling, the keys that
// confirm and cancel, drawing over the frame with a blinking caret, and the modal loop.
#include <SDL2/SDL.h>

#include <string>

#include "image/clip.h"
#include "ui/dialog.h"
#include "platform/events.h"
#include "platform/gdi.h"
#include "res/gdi_text.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "res/datapack.h"
#include "res/lang.h"
#include "platform/loop.h"
#include "tests/support.h"
#include "tests/toolkit_env.h"

using Posted = std::vector<std::pair<int32_t, intptr_t>>;  // code, a
static Posted posted;
// The game clock stands still in these tests and moves only when a test says so.
static void clock_forward(int64_t ms)
{
    io_clock_advance(io_time() + ms);
}

static void record_keys(const IoEvent *e)
{
    if (e->code == IO_KEY_DOWN)
        posted.push_back({e->code, e->a});
}

constexpr uint32_t TEXT_COLOUR = 0x102030, BACKGROUND = 0xE0D0C0;

class Dialog : public ::testing::Test {
protected:
    TempDir dir;
    int32_t held = 0;
    void SetUp() override
    {
        std::filesystem::create_directories(dir.file("pack/fonts"));
        for (const char *f : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSerif.ttf"})
            std::filesystem::copy_file(std::string(PELMORA_FONT_DIR "/") + f, dir.file("pack/fonts/") + f);
        set_charset(0);
        held = blocks_held();
        io_video_set_driver(&test_video_driver);
        io_video_create(640, 480, 24);
        clip_init();
        dp_open((dir.file("pack") + "@").c_str());
        font_dialog = {};
        font_dialog.kind = FONT_SYSTEM;
        font_dialog.handle = io_gdi_create_font(-11, IO_FONT_SWISS, 0, nullptr);
        io_gdi_font_metrics(font_dialog.handle, &font_dialog.height, &font_dialog.size, &font_dialog.line);
        io_dialog_set_colours(TEXT_COLOUR, BACKGROUND);
        io_clock_start(true);
        clock_forward(1000);
        kernel_config.input_mask = IO_MASK_DEFAULT;
        kernel_enable_events(true);
        io_input_reset();
        io_set_event_tap(record_keys);
        posted.clear();
    }
    void TearDown() override
    {
        if (screen.buf)
            io_video_end_paint();
        while (io_dialog_open())
            io_dialog_pop();
        io_set_event_tap(nullptr);
        kernel_enable_events(false);
        io_clock_start(false);
        io_gdi_delete_font(font_dialog.handle);
        font_dialog = {};
        io_gdi_fonts_done();
        dp_close();
        clip_done();
        io_video_close();
        EXPECT_EQ(blocks_held(), held) << "field texts, faces and pictures all given back";
        lt_done();
    }
    void set_charset(int charset)
    {
        write_file(dir.file("lang.ini"), "[MAIN]\nVersion=1\nCharSet=" + std::to_string(charset) + "\n[TEXTS]\n0=x\n");
        lt_init(dir.file("lang.ini").c_str());
    }
    static int input(InputKind kind, int32_t key = 0, uint8_t mods = 0, const char *text = "", int32_t x = 0, int32_t y = 0,
                     uint8_t button = 0)
    {
        PlatformInput in = {kind, mods, button, 0, x, y, key, {}};
        snprintf(in.text, sizeof in.text, "%s", text);
        return io_dialog_input(&in);
    }
    static int type(const char *text) { return input(InputKind::Text, 0, 0, text); }
    // A key pressed and let go; what the press answered.
    static int key(int32_t sym, uint8_t mods = 0)
    {
        int took = input(InputKind::KeyDown, sym, mods);
        input(InputKind::KeyUp, sym, mods);
        return took;
    }
    static int click(int32_t x, int32_t y, uint8_t mods = 0)
    {
        int took = input(InputKind::MouseDown, 0, mods, "", x, y, 1);
        input(InputKind::MouseUp, 0, mods, "", x, y, 1);
        return took;
    }
    static std::string text_of(int32_t id)
    {
        char buf[1024];
        io_dialog_read(id, buf, sizeof buf);
        return buf;
    }
    static std::pair<int32_t, int32_t> caret(int32_t id)
    {
        int32_t c = -1, a = -1;
        io_dialog_caret(id, &c, &a);
        return {c, a};
    }
    static IoDialogField line_field(char *text, int32_t size, uint32_t flags = IO_FIELD_LINE)
    {
        return {flags, 10, 20, 200, 25, text, size, 0};
    }
};

TEST_F(Dialog, TypingMovingAndSelectingOnWholeCharacters)
{
    char text[64] = "Hello";
    IoDialogField fields[] = {line_field(text, sizeof text), {}};
    io_dialog_push(100, 50, fields);
    EXPECT_EQ(std::tuple(fields[0].id, io_dialog_focus(), caret(100)), std::tuple(100, 100, std::pair(5, 0)))
        << "the first field opens with its text selected";

    EXPECT_EQ(input(InputKind::KeyDown, SDLK_w), 1) << "a typing key is the field's";
    EXPECT_EQ(type("World"), 1);
    EXPECT_EQ(text_of(100), "World") << "typing replaces the selection";
    key(SDLK_HOME);
    key(SDLK_RIGHT, INPUT_MOD_SHIFT);
    key(SDLK_RIGHT, INPUT_MOD_SHIFT);
    EXPECT_EQ(caret(100), std::pair(2, 0));
    key(SDLK_LEFT);
    EXPECT_EQ(caret(100), std::pair(0, 0)) << "Left without Shift collapses a selection to its start";
    key(SDLK_DELETE);
    key(SDLK_END);
    key(SDLK_BACKSPACE);
    EXPECT_EQ(std::tuple(text_of(100), caret(100)), std::tuple(std::string("orl"), std::pair(3, 3)));

    key(SDLK_a, INPUT_MOD_CTRL);
    type("one two three");
    key(SDLK_LEFT, INPUT_MOD_CTRL);
    EXPECT_EQ(caret(100).first, 8);
    key(SDLK_LEFT, INPUT_MOD_CTRL | INPUT_MOD_SHIFT);
    EXPECT_EQ(caret(100), std::pair(4, 8));
    key(SDLK_BACKSPACE);
    EXPECT_EQ(text_of(100), "one three");
    key(SDLK_BACKSPACE, INPUT_MOD_CTRL);
    EXPECT_EQ(text_of(100), "three") << "Ctrl+Backspace takes the word before the caret";
    EXPECT_EQ(key(SDLK_UP), 1) << "a one-line field keeps its arrows";
    EXPECT_EQ(caret(100), std::pair(0, 0));

    EXPECT_EQ(key(SDLK_F5), 0) << "keys the field has no use for go to the game";
    EXPECT_EQ(key(SDLK_q, INPUT_MOD_CTRL), 0);
    EXPECT_EQ(key(SDLK_a, INPUT_MOD_ALT), 0) << "system keys stay the window system's";
    EXPECT_EQ(input(InputKind::KeyUp, SDLK_F5), 0);
    EXPECT_EQ(input(InputKind::Activate), 0);
    EXPECT_TRUE(posted.empty());
}

TEST_F(Dialog, SizeLimitsCountBytesAndNeverSplitACharacter)
{
    set_charset(238);
    char small[16] = "", large[64] = "";
    char guarded[20];
    memset(guarded, '#', sizeof guarded);
    memcpy(guarded, "abcdefghijklmn\xE2\x82\xAC", 17);  // 14 letters and a euro sign, no end inside 16 bytes
    IoDialogField fields[] = {line_field(small, sizeof small), line_field(large, sizeof large),
                              line_field(guarded, 16), {}};
    io_dialog_push(0, 0, fields);
    EXPECT_EQ(text_of(102), "abcdefghijklmn") << "read no further than 16 bytes, and the euro sign was cut: dropped whole";

    type("12345678901234567890");
    EXPECT_EQ(text_of(100), "123456789012345") << "size 16 takes 15 bytes";
    key(SDLK_a, INPUT_MOD_CTRL);
    type("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");  // nine e-acute, 18 bytes
    EXPECT_EQ(text_of(100).size(), 14u) << "seven whole characters; the eighth would leave half of it";
    type("\xC3\xA9");
    type("z");
    std::string seven;
    for (int i = 0; i < 7; i++)
        seven += "\xC3\xA9";
    EXPECT_EQ(text_of(100), seven + "z") << "the eighth refused whole, then one byte still fits";
    key(SDLK_LEFT);
    key(SDLK_LEFT);
    EXPECT_EQ(caret(100).first, 12) << "Left steps over a two-byte character";
    key(SDLK_BACKSPACE);
    EXPECT_EQ(text_of(100).size(), 13u) << "Backspace takes both bytes";

    key(SDLK_TAB);
    type(std::string(70, 'x').c_str());
    EXPECT_EQ(text_of(101).size(), 63u) << "size 64 takes 63";

    char three[3];
    key(SDLK_TAB);
    key(SDLK_TAB);
    key(SDLK_a, INPUT_MOD_CTRL);
    type("\xC3\xA9" "a");
    io_dialog_read(100, three, sizeof three);
    EXPECT_STREQ(three, "\xC3\xA9");
    io_dialog_read(100, three, 2);
    EXPECT_STREQ(three, "") << "a reader with room for one byte gets no half character";

    io_dialog_end(1, 1);
    EXPECT_STREQ(guarded, "abcdefghijklmn");
    EXPECT_EQ(std::string(guarded + 16, 4), "\xAC###") << "nothing written past the caller's 16 bytes";
    EXPECT_EQ(strlen(large), 63u);
    EXPECT_EQ(io_dialog_pop(), 1);
}

TEST_F(Dialog, RefusesWhatTheFontsCannotShowAndMakesCapitals)
{
    char text[64] = "", caps[64] = "";
    IoDialogField fields[] = {line_field(text, sizeof text), line_field(caps, sizeof caps, IO_FIELD_LINE | IO_FIELD_CAPITALS), {}};
    io_dialog_push(0, 0, fields);
    EXPECT_EQ(type("a\xC3\xA9\xE2\x82\xAC\x7F\tb~"), 1) << "refused text is still the field's";
    EXPECT_EQ(text_of(100), "a b~") << "the Western fonts hold printable ASCII only; a tab is a blank";
    key(SDLK_TAB);
    type("abc z");
    EXPECT_EQ(text_of(101), "ABC Z");
    io_dialog_pop();

    set_charset(238);
    io_dialog_push(0, 0, fields);
    type("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xC3(\xC2\x85.");  // e-acute, euro, a Chinese character, a broken pair, NEL
    EXPECT_EQ(text_of(100), "\xC3\xA9\xE2\x82\xAC(.") << "the faces have no Chinese; broken and control bytes are nobody's";
    key(SDLK_TAB);
    key(SDLK_a, INPUT_MOD_CTRL);
    type("\xC3\xA9\xC5\x82\xD0\xB6\xCE\xB1\xC3\xBF");  // e-acute, l-stroke, zhe, alpha, y-diaeresis
    EXPECT_EQ(text_of(101), "\xC3\x89\xC5\x81\xD0\x96\xCE\x91\xC5\xB8");
    EXPECT_TRUE(io_edit_accepts(0x0416) && !io_edit_accepts(0x4E2D) && !io_edit_accepts(0x85) && !io_edit_accepts(127));
    set_charset(0);
    EXPECT_FALSE(io_edit_accepts(0xE9));
}

TEST_F(Dialog, ClipboardCopyCutAndPasteTakeOnlyWhatFits)
{
    char one[8] = "", lines[64] = "", source[64] = "one\r\ntwo\nthree";
    IoDialogField fields[] = {line_field(source, sizeof source, IO_FIELD_LINES), line_field(one, sizeof one),
                              {IO_FIELD_LINES, 10, 60, 200, 60, lines, sizeof lines, 0}, {}};
    io_dialog_push(0, 0, fields);
    EXPECT_EQ(text_of(100), "one\ntwo\nthree");
    ASSERT_EQ(key(SDLK_c, INPUT_MOD_CTRL), 1);  // the whole text, selected on opening
    key(SDLK_TAB);
    key(SDLK_v, INPUT_MOD_CTRL);
    EXPECT_EQ(text_of(101), "one two") << "line breaks become blanks, and only 7 bytes fit";
    key(SDLK_TAB);
    key(SDLK_INSERT, INPUT_MOD_SHIFT);
    EXPECT_EQ(text_of(102), "one\ntwo\nthree");

    key(SDLK_HOME, INPUT_MOD_CTRL);
    key(SDLK_END, INPUT_MOD_SHIFT);
    key(SDLK_x, INPUT_MOD_CTRL);
    EXPECT_EQ(text_of(102), "\ntwo\nthree") << "cut takes the selection";
    key(SDLK_END, INPUT_MOD_CTRL);
    key(SDLK_v, INPUT_MOD_CTRL);
    EXPECT_EQ(text_of(102), "\ntwo\nthreeone");
    key(SDLK_TAB);
    key(SDLK_TAB);
    EXPECT_EQ(caret(101), std::pair(7, 0)) << "Tab selects the text of the field it goes to";
    key(SDLK_DELETE, INPUT_MOD_SHIFT);
    EXPECT_EQ(text_of(101), "") << "Shift+Delete cuts";
    key(SDLK_TAB);
    key(SDLK_END, INPUT_MOD_CTRL);
    key(SDLK_v, INPUT_MOD_CTRL);
    EXPECT_EQ(text_of(102), "\ntwo\nthreeoneone two");
    io_dialog_pop();

    // With the window system up, its clipboard is the one used, both ways.
    ASSERT_EQ(io_platform_init("test", 640, 480, true), 1);
    strcpy(one, "");
    strcpy(source, "caf\xC3\xA9");
    io_dialog_push(0, 0, fields);
    key(SDLK_c, INPUT_MOD_CTRL);
    char *system = SDL_GetClipboardText();
    EXPECT_STREQ(system, "caf\xC3\xA9");
    SDL_free(system);
    SDL_SetClipboardText("a\xE2\x82\xAC" "bcdefghij");
    key(SDLK_TAB);
    key(SDLK_v, INPUT_MOD_CTRL);
    EXPECT_EQ(text_of(101), "abcdefg") << "the euro sign is refused in the Western set, then 7 bytes fit";
    io_dialog_pop();
    io_platform_done();
}

TEST_F(Dialog, LinesWrapAtWordsScrollAndKeepTheirColumn)
{
    char text[256] = "alpha beta gamma delta epsilon zeta eta theta iota kappa";
    IoDialogField field = {IO_FIELD_LINES, 0, 0, 80, 2 * IO_EDIT_PAD_Y + 3 * font_dialog.line, text, sizeof text, 0};
    IoEdit e;
    io_edit_open(&e, &field, 0, 0);
    const int32_t inner = 80 - 2 * IO_EDIT_PAD_X - 1;
    int32_t begin = 0, end, next, count = 0;
    for (bool last = false; !last; begin = next, count++) {
        last = io_edit_line(&e, begin, &end, &next);
        int32_t ink = end;
        while (ink > begin && e.text[ink - 1] == ' ')
            ink--;
        EXPECT_LE(io_edit_width(&e, begin, ink), inner) << "line " << count;
        if (begin > 0) {
            EXPECT_EQ(e.text[begin - 1], ' ') << "line " << count << " starts after a blank";
        }
        if (!last) {
            int32_t word_end = next;
            while (word_end < e.length && e.text[word_end] != ' ')
                word_end++;
            EXPECT_GT(io_edit_width(&e, begin, word_end), inner) << "line " << count << " could have held the next word";
        }
    }
    EXPECT_GE(count, 4);
    int32_t b, en;
    int32_t caret_line = io_edit_line_of(&e, e.caret, &b, &en);
    EXPECT_EQ(e.first_line, caret_line - 2) << "opened with the caret at the end, its line the last shown";
    io_edit_key(&e, SDLK_HOME, INPUT_MOD_CTRL);
    EXPECT_EQ(std::tuple(e.caret, e.first_line), std::tuple(0, 0));
    io_edit_key(&e, SDLK_PAGEDOWN, 0);
    EXPECT_EQ(std::tuple(io_edit_line_of(&e, e.caret, &b, &en), e.first_line), std::tuple(3, 1));
    io_edit_close(&e);

    // A word wider than the field is cut where it overflows; line breaks always end a line.
    strcpy(text, "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz\nx\n");
    io_edit_open(&e, &field, 0, 0);
    begin = 0;
    std::vector<std::string> shown;
    for (bool last = false; !last; begin = next) {
        last = io_edit_line(&e, begin, &end, &next);
        EXPECT_LE(io_edit_width(&e, begin, end), inner);
        shown.push_back(std::string(e.text + begin, (size_t)(end - begin)));
    }
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(shown.end() - 2, shown.end()), (std::vector<std::string>{"x", ""}));
    io_edit_close(&e);

    // Up and Down keep the column the caret started from across a shorter line.
    strcpy(text, "first line\nab\nthird line");
    io_edit_open(&e, &field, 0, 0);
    io_edit_key(&e, SDLK_HOME, INPUT_MOD_CTRL);
    io_edit_key(&e, SDLK_END, 0);
    int32_t goal = io_edit_width(&e, 0, 10);
    io_edit_key(&e, SDLK_DOWN, 0);
    EXPECT_EQ(e.caret, 13) << "the end of the short line";
    io_edit_key(&e, SDLK_DOWN, INPUT_MOD_SHIFT);
    EXPECT_NEAR(io_edit_width(&e, 14, e.caret), goal, io_edit_width(&e, 14, 15));
    EXPECT_EQ(e.anchor, 13) << "Shift+Down selects";
    io_edit_key(&e, SDLK_UP, 0);
    io_edit_key(&e, SDLK_UP, 0);
    io_edit_key(&e, SDLK_UP, 0);
    EXPECT_EQ(e.caret, 10) << "back in the first line's column, and no further up";
    io_edit_click(&e, IO_EDIT_PAD_X, IO_EDIT_PAD_Y + 2 * font_dialog.line + 1, false);
    EXPECT_EQ(e.caret, 14) << "a click at the left of the third line";
    io_edit_close(&e);

    // One line scrolls sideways to keep the caret in view.
    strcpy(text, "");
    IoDialogField narrow = {IO_FIELD_LINE, 0, 0, 60, 20, text, sizeof text, 0};
    io_edit_open(&e, &narrow, 0, 0);
    io_edit_type(&e, "WWWWWWWWWWWWWWWWWWWWWWWWW");
    int32_t x = io_edit_width(&e, 0, e.caret) - e.scroll_x;
    EXPECT_TRUE(e.scroll_x > 0 && x >= 0 && x <= 60 - 2 * IO_EDIT_PAD_X - 1) << e.scroll_x << " " << x;
    io_edit_key(&e, SDLK_HOME, 0);
    EXPECT_EQ(e.scroll_x, 0);
    io_edit_key(&e, SDLK_END, 0);
    io_edit_key(&e, SDLK_BACKSPACE, 0);
    io_edit_key(&e, SDLK_BACKSPACE, 0);
    EXPECT_EQ(io_edit_width(&e, 0, e.length) - e.scroll_x, 60 - 2 * IO_EDIT_PAD_X - 1)
        << "the text follows the caret back: no empty room at the end while some is hidden";
    io_edit_key(&e, SDLK_a, INPUT_MOD_CTRL);
    io_edit_key(&e, SDLK_BACKSPACE, 0);
    EXPECT_EQ(e.scroll_x, 0) << "nothing left to hide";
    io_edit_close(&e);
}

TEST_F(Dialog, EnterEscapeTabAndTheMouse)
{
    char a[32] = "abc", b[32] = "", lines[64] = "";
    IoDialogField fields[] = {line_field(a, sizeof a), {IO_FIELD_LINE, 10, 60, 200, 25, b, sizeof b, 0},
                              {IO_FIELD_LINES, 10, 100, 200, 60, lines, sizeof lines, 0}, {}};
    io_dialog_push(100, 50, fields);
    EXPECT_EQ(key(SDLK_RETURN), 1);
    EXPECT_EQ(key(SDLK_ESCAPE), 1);
    EXPECT_EQ(posted, (Posted{{IO_KEY_DOWN, IO_VK_ENTER}, {IO_KEY_DOWN, IO_VK_ESCAPE}}));
    EXPECT_EQ(input(InputKind::KeyDown, SDLK_KP_ENTER), 1);
    EXPECT_EQ(input(InputKind::KeyUp, SDLK_KP_ENTER), 1) << "the release of a key the field took is its too";

    key(SDLK_TAB);
    key(SDLK_TAB);
    EXPECT_EQ(io_dialog_focus(), 102);
    posted.clear();
    type("x");
    key(SDLK_RETURN);
    type("y");
    EXPECT_TRUE(posted.empty()) << "Enter makes a new line in a field of several lines";
    EXPECT_EQ(text_of(102), "x\ny");
    key(SDLK_TAB);
    EXPECT_EQ(io_dialog_focus(), 100) << "Tab goes round";
    key(SDLK_TAB, INPUT_MOD_SHIFT);
    EXPECT_EQ(io_dialog_focus(), 102);

    EXPECT_EQ(click(100 + 10 + 150, 50 + 20 + 5), 1);
    EXPECT_EQ(std::tuple(io_dialog_focus(), caret(100)), std::tuple(100, std::pair(3, 3))) << "right of the text: its end";
    EXPECT_EQ(input(InputKind::MouseDown, 0, 0, "", 111, 75, 1), 1);
    EXPECT_EQ(caret(100), std::pair(0, 0));
    EXPECT_EQ(input(InputKind::MouseMove, 0, 0, "", 300, 75, 1), 0) << "the game still follows the mouse";
    EXPECT_EQ(input(InputKind::MouseUp, 0, 0, "", 300, 75, 1), 1);
    EXPECT_EQ(caret(100), std::pair(3, 0)) << "dragging selects";
    click(111, 75, INPUT_MOD_SHIFT);
    click(100 + 10 + 150, 75, INPUT_MOD_SHIFT);
    EXPECT_EQ(caret(100), std::pair(3, 0)) << "Shift+click extends from the caret's other end";

    EXPECT_EQ(click(5, 5), 0) << "a click outside every field is the game's";
    EXPECT_EQ(input(InputKind::MouseUp, 0, 0, "", 5, 5, 1), 0);
    EXPECT_EQ(click(111, 50 + 60 + 5), 1);
    EXPECT_EQ(io_dialog_focus(), 101);
    EXPECT_EQ(text_of(100), "abc");

    io_dialog_end(5, 0);
    EXPECT_EQ(input(InputKind::Text, 0, 0, "z"), 0) << "an ended dialog takes nothing";
    EXPECT_EQ(io_dialog_pop(), 5);
    EXPECT_STREQ(a, "abc");
    EXPECT_STREQ(lines, "") << "ended without its texts: the buffers are untouched";
    EXPECT_FALSE(io_dialog_open());
    EXPECT_EQ(input(InputKind::Text, 0, 0, "z"), 0);
}

TEST_F(Dialog, DrawsFieldsOverTheFrameWithABlinkingCaret)
{
    char text[64] = "Hello, fields! This text runs well past the field's right edge";
    char empty[8] = "";
    IoDialogField fields[] = {{IO_FIELD_LINE, 10, 20, 120, 24, text, sizeof text, 0},
                              {IO_FIELD_LINE, 10, 60, 60, 20, empty, sizeof empty, 0}, {}};
    io_dialog_push(100, 50, fields);
    auto px = [](int32_t x, int32_t y) {
        const uint8_t *p = screen.buf + (ptrdiff_t)y * screen.pitch + x * 3;
        return (uint32_t)p[2] << 16 | p[1] << 8 | p[0];
    };
    auto count = [&](int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour) {
        int n = 0;
        for (int32_t r = y; r < y + h; r++)
            for (int32_t c = x; c < x + w; c++)
                n += px(c, r) == colour;
        return n;
    };
    // A frame over a grey screen; `clean` draws only what the dialog finds dirty itself.
    auto frame = [&](bool clean, bool corner = false) {
        if (screen.buf)
            io_video_end_paint();
        if (clean)
            clip_set_all(0);
        if (corner)
            clip_invalidate(110, 70, 4, 4);  // one corner of the first field
        io_video_begin_paint();
        for (int y = 0; y < screen.height; y++)
            memset(screen.buf + (ptrdiff_t)y * screen.pitch, 0x40, (size_t)screen.width * 3);
        io_dialog_draw();
    };

    key(SDLK_END);  // the selection goes, the text scrolls to its end
    frame(false);   // everything once, the caret shown
    frame(true, true);
    const uint32_t grey = 0x404040;
    EXPECT_EQ(count(110, 70, 120, 24, grey), 0) << "drawn whole for one dirty tile";
    EXPECT_GT(count(110, 70, 120, 24, TEXT_COLOUR), 20) << "text ink";
    EXPECT_GT(120 * 24 - count(110, 70, 120, 24, TEXT_COLOUR) - count(110, 70, 120, 24, BACKGROUND), 20)
        << "and its smoothed edges";
    EXPECT_EQ(count(105, 65, 130, 5, grey) + count(230, 70, 5, 24, grey), 130 * 5 + 5 * 24)
        << "nothing outside the field, though the text runs past it";
    EXPECT_TRUE(clip_is_dirty(229, 93, 1, 1)) << "the whole field goes to the screen";
    EXPECT_EQ(count(110, 110, 60, 20, grey), 60 * 20) << "the other field was not dirty";

    // The caret blinks 500 ms on, 500 ms off, from the last time it was used.
    key(SDLK_TAB);
    const int32_t cx = 110 + IO_EDIT_PAD_X, field_y = 110;
    frame(false);
    EXPECT_EQ(count(cx, field_y, 1, 20, TEXT_COLOUR), font_dialog.height) << "the caret, in an empty field";
    clock_forward(499);
    frame(true);
    EXPECT_EQ(count(110, 110, 60, 20, grey), 60 * 20) << "nothing changed, nothing drawn";
    clock_forward(1);
    frame(true);
    EXPECT_EQ(count(110, 110, 60, 20, BACKGROUND), 60 * 20) << "the caret's half-second off: the field drew itself";
    clock_forward(200);
    type("i");
    int32_t after_i = 0;
    io_gdi_text_size(&font_dialog, "i", 0, 0, &after_i, nullptr);
    frame(false);
    EXPECT_EQ(count(cx + after_i, field_y, 1, 20, TEXT_COLOUR), font_dialog.height) << "typing shows the caret at once";
    clock_forward(500);
    frame(true);
    EXPECT_EQ(count(110, 110, 60, 20, grey), 0);
    EXPECT_EQ(count(cx + after_i, field_y, 1, 20, TEXT_COLOUR), 0) << "the caret is off again";
    EXPECT_GT(60 * 20 - count(110, 110, 60, 20, BACKGROUND), 0) << "the letter stays";
    io_video_end_paint();
}

// The loop: a tap stands in for the window that opened the dialog and ends it on Enter.
static char inner_text[32];
static int32_t inner_result = -1;
static std::string outer_seen;
static int frames_left;
static bool typing_on_inside;

static void run_tap(const IoEvent *e)
{
    if (e->code == IO_FRAME && --frames_left == 0)
        io_dialog_end(-1, 0);  // a watchdog: the inputs were used up and nothing ended the dialog
    if (e->code != IO_KEY_DOWN)
        return;
    static IoDialogField inner[] = {{IO_FIELD_LINE, 0, 0, 100, 20, inner_text, sizeof inner_text, 0}, {}};
    if (e->a == IO_VK_ENTER && outer_seen.empty()) {
        char buf[32];
        io_dialog_read(100, buf, sizeof buf);
        outer_seen = buf;
        typing_on_inside = SDL_IsTextInputActive();
        inner_result = io_dialog_run(300, 300, inner);
    } else if (e->a == IO_VK_ENTER) {
        io_dialog_end(2, 1);
    } else if (e->a == IO_VK_ESCAPE) {
        io_dialog_end(9, 0);
    }
}

TEST_F(Dialog, RunEndsFromAHandlerAndNests)
{
    ASSERT_EQ(io_platform_init("test", 640, 480, true), 1);
    PlatformInput drained;
    while (io_platform_poll(&drained)) {
    }
    // As a platform that types only into fields would have it; before the pushes, since
    // stopping drops typed text already queued.
    SDL_StopTextInput();
    SDL_Event active = {};
    active.type = SDL_WINDOWEVENT;
    active.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&active);
    push_text("outer");
    push_key(SDLK_RETURN);  // opens the inner dialog
    push_text("inner");
    push_key(SDLK_RETURN);  // ends the inner dialog with its text
    push_text("!");
    push_key(SDLK_ESCAPE);  // ends the outer one without
    char outer_text[32] = "keep";
    IoDialogField outer[] = {line_field(outer_text, sizeof outer_text), {}};
    strcpy(inner_text, "old");
    outer_seen.clear();
    frames_left = 500;
    typing_on_inside = false;
    io_set_event_tap(run_tap);
    int32_t result = io_dialog_run(0, 0, outer);
    io_set_event_tap(nullptr);
    EXPECT_EQ(std::tuple(result, inner_result, outer_seen), std::tuple(9, 2, std::string("outer")));
    EXPECT_STREQ(inner_text, "inner") << "the inner dialog's text, typed while it was on top";
    EXPECT_STREQ(outer_text, "keep") << "Escape's handler did not ask for the texts";
    EXPECT_FALSE(io_dialog_open());
    EXPECT_TRUE(typing_on_inside && !SDL_IsTextInputActive()) << "text input runs while the fields are open";
    SDL_StartTextInput();

    SDL_Event inactive = active;
    inactive.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&inactive);
    io_pump();
    io_platform_done();
}

// Runs a dialog that a close of the game ends; exits 3 when it ended as it should.
static void run_until_closed(void)
{
    io_platform_init("test", 640, 480, true);
    char text[8] = "";
    IoDialogField fields[2] = {{IO_FIELD_LINE, 0, 0, 100, 20, text, sizeof text, 0}, {}};
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    int32_t result = io_dialog_run(0, 0, fields);
    exit(result == 0 && !io_dialog_open() && kernel_close_pending() ? 3 : 4);
}

TEST_F(Dialog, CloseOfTheGameEndsTheDialogWithZero)
{
    // A close cannot be taken back in this process, so it happens in a child.
    EXPECT_EXIT(run_until_closed(), ::testing::ExitedWithCode(3), "");
}
