// The input journal: every input survives its trip through a line, bad lines and bad
// files are refused with the place named, and a recording replaces the old journal only
// once it is complete.
#include <SDL2/SDL.h>

#include <unistd.h>

#include "platform/journal.h"
#include "tests/support.h"

using K = InputKind;

// Inputs as the platform reports them: cleared first, as the parser clears what it fills.
static PlatformInput mouse(K kind, int x, int y, int button, int mods = 0)
{
    return {kind, (uint8_t)mods, (uint8_t)button, 0, x, y, 0, {}};
}

static PlatformInput key(K kind, int32_t code, int mods = 0)
{
    return {kind, (uint8_t)mods, 0, 0, 0, 0, code, {}};
}

static PlatformInput text(K kind, const char *s)
{
    PlatformInput in = mouse(kind, 0, 0, 0);
    snprintf(in.text, sizeof in.text, "%s", s);
    return in;
}

// A window-level input; `answer` only counts for a display change.
static PlatformInput window(K kind, int answer = 0)
{
    PlatformInput in = mouse(kind, 0, 0, 0);
    in.answer = (uint8_t)answer;
    return in;
}

static std::string format(int64_t t, const PlatformInput &in, int size = JOURNAL_LINE_MAX)
{
    std::vector<char> line((size_t)size);
    return journal_format_line(t, &in, line.data(), size) ? std::string(line.data()) : "(refused)";
}

// PlatformInput has no padding, so memcmp compares every field.
static void expect_same(const PlatformInput &want, const PlatformInput &got)
{
    EXPECT_EQ(memcmp(&want, &got, sizeof want), 0) << "wanted " << format(0, want) << ", got " << format(0, got);
}

TEST(Journal, EveryInputKindRoundTripsThroughItsLineAndBadLinesAreRefused)
{
    // One case for each InputKind.
    struct { PlatformInput in; const char *line; } cases[] = {
        {mouse(K::MouseMove, -20, 480, 3, INPUT_MOD_CTRL | INPUT_MOD_SHIFT), "mouse_move -20 480 3 ctrl shift"},
        {mouse(K::MouseDown, 100, 200, 1, INPUT_MOD_ALT), "mouse_down 100 200 1 alt"},
        {mouse(K::MouseUp, 100, 200, 3), "mouse_up 100 200 3"},
        {key(K::KeyDown, SDLK_KP_PLUS, INPUT_MOD_CTRL | INPUT_MOD_ALT | INPUT_MOD_SHIFT), "key_down Keypad_+ ctrl alt shift"},
        {key(K::KeyUp, SDLK_LSHIFT), "key_up Left_Shift"},
        {key(K::KeyDown, SDLK_UNDERSCORE), "key_down _"},
        {text(K::Text, "  two blanks first, one last "), "text   two blanks first, one last "},
        {window(K::DisplayChange, 1), "display_change yes"},
        {text(K::Message, "Cats and Dogs"), "message Cats and Dogs"},
        {window(K::Activate), "activate"},
        {window(K::Deactivate), "deactivate"},
        {window(K::Close), "close"},
        {window(K::Expose), "expose"},
        {window(K::Forward), "forward"},
    };
    int64_t t;
    PlatformInput got;
    uint8_t held = 0;
    for (const auto &c : cases) {
        std::string line = format(2147483647, c.in);
        EXPECT_EQ(line, std::string("2147483647 ") + c.line);
        ASSERT_EQ(journal_parse_line((line + "\n").c_str(), &t, &got, &held), 1) << line;
        EXPECT_EQ(t, 2147483647) << "the latest time a line can hold";
        expect_same(c.in, got);
    }

    for (const char *line : {"", "\n", "   \t \r\n", "# a comment", "   # indented 5 close"})
        EXPECT_EQ(journal_parse_line(line, &t, &got, &held), 0) << "skipped: '" << line << "'";
    std::string overlong = "5 text " + std::string(600, 'x');
    for (const char *line : {"5", "-1 close", "99999999999 close", "5x close", "5 jump", "5 close now",
                             "5 mouse_move x 2", "5 mouse_move 1 2 4", "5 mouse_move 99999 2", "5 mouse_down 1 2 0",
                             "5 mouse_down 1 2 1 hat", "5 key_down NoSuchKey", "5 key_up A meta",
                             "5 key_down \xC1\x81", "5 key_down a",
                             "5 display_change maybe", "5 text", overlong.c_str()}) {
        held = 0;
        EXPECT_EQ(journal_parse_line(line, &t, &got, &held), -1) << "accepted: '" << line << "'";
        EXPECT_EQ(held, 0) << "a refused line changed the buttons held: '" << line << "'";
    }

    // Inputs no line could bring back are not written at all.
    EXPECT_EQ(format(1, key(K::KeyDown, 0)), "(refused)") << "a key without a name";
    EXPECT_EQ(format(1, text(K::Text, "")), "(refused)") << "empty text";
    EXPECT_EQ(format(1, text(K::Message, "two\nlines")), "(refused)") << "a line break";
    EXPECT_EQ(format(1, window(K::Close), 7), "(refused)") << "a line cut by a short buffer";
    EXPECT_EQ(format(1, window(K::Close), 8), "1 close");
}

TEST(Journal, LoadPlaysTheInputsInOrderOrRefusesBadFilesNamingTheLine)
{
    TempDir dir;
    std::string path = dir.file("j.txt");
    // CR LF line ends, equal times, and a last line cut off before its line break.
    write_file(path, "# journal\n\n10 activate\r\n10 mouse_down 5 6 1\n25 mouse_move 7 8\n30 mouse_down 7 8 3\n"
                     "35 mouse_move 7 9 0\n40 text  hi");
    char error[512] = "";
    ASSERT_EQ(io_journal_load(path.c_str(), error, sizeof error), 1) << error;
    EXPECT_TRUE(io_journal_playing());
    std::string played;
    int64_t t;
    PlatformInput in;
    while (io_journal_next_time(&t) && io_journal_take(&in))
        played += format(t, in) + "\n";
    // At 25 the left button is still held, at 30 the middle one is not "held", and at 35
    // an explicit 0 overrides.
    EXPECT_EQ(played, "10 activate\n10 mouse_down 5 6 1\n25 mouse_move 7 8 1\n30 mouse_down 7 8 3\n"
                      "35 mouse_move 7 9 0\n40 text  hi\n");
    EXPECT_FALSE(io_journal_take(&in)) << "played out";
    io_journal_done();
    EXPECT_FALSE(io_journal_playing());

    // Bad files are refused with the place named.
    struct { std::string content, error; } cases[] = {
        {"10 close\n20 close\n# fine\n15 close\n", path + ":4: time goes backwards"},
        {"10 close\n10 jump\n", path + ":2: not a journal line"},
        {"10 close\n10 " + std::string(100000, 'x') + "\n20 close\n", path + ":2: line too long"},
        {std::string("10 close\n\x01\x02\0\0\n20 close\n", 23), path + ":2: not a journal line"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        // A journal loaded before must not linger behind a refused one.
        write_file(path, "1 close\n");
        ASSERT_EQ(io_journal_load(path.c_str(), error, sizeof error), 1);
        write_file(path, c.content);
        strcpy(error, "");
        EXPECT_EQ(io_journal_load(path.c_str(), error, sizeof error), 0);
        EXPECT_EQ(std::string(error).substr(0, c.error.size()), c.error) << "got: " << error;
        EXPECT_FALSE(io_journal_next_time(&t)) << "inputs left over from a refused journal";
        EXPECT_FALSE(io_journal_playing());
    }
    std::string missing = dir.file("none.txt");
    EXPECT_EQ(io_journal_load(missing.c_str(), error, sizeof error), 0);
    EXPECT_EQ(std::string(error), "cannot open " + missing);
    io_journal_done();
}

TEST(Journal, RecordingReplacesTheOldJournalOnlyAtClose)
{
    TempDir dir;
    std::string path = dir.file("rec.txt");
    std::string part = path + "." + std::to_string(getpid()) + ".part";
    write_file(path, "old journal\n");
    ASSERT_EQ(io_journal_record_open(path.c_str()), 1);

    // At 5, 7 and 9 ms; the nameless key at 7 cannot be written.
    const PlatformInput inputs[] = {mouse(K::MouseDown, 3, 4, 2, INPUT_MOD_CTRL), key(K::KeyDown, 0),
                                    key(K::KeyDown, SDLK_KP_PLUS)};
    for (int i = 0; i < 3; i++)
        io_journal_record(5 + 2 * i, &inputs[i]);
    EXPECT_EQ(read_file(path), "old journal\n") << "the old journal survives until the recording ends";
    EXPECT_NE(read_file(part).find("9 key_down Keypad_+\n"), std::string::npos)
        << "each input reaches the .part file at once: " << read_file(part);

    io_journal_record_close();
    std::string recorded = read_file(path) + read_file(part);  // the .part file is renamed, not left behind
    EXPECT_EQ(recorded[0], '#');
    EXPECT_EQ(recorded.substr(recorded.find('\n') + 1), "5 mouse_down 3 4 2 ctrl\n9 key_down Keypad_+\n");

    EXPECT_EQ(io_journal_record_open(dir.file("no/such/folder/rec.txt").c_str()), 0);
}
