// The input journal: every input survives its trip through a line, bad lines and bad
// files are refused with the place named, and a recording replaces the old journal only
// once it is complete.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "kernel/journal.h"
#include "tests/support.h"

using K = InputKind;

// Inputs as the platform reports them: cleared first, as the parser clears what it fills.
static PlatformInput mouse(K kind, int x, int y, int button, int mods = 0)
{
    PlatformInput in = {};
    in.kind = kind;
    in.x = x;
    in.y = y;
    in.button = (uint8_t)button;
    in.mods = (uint8_t)mods;
    return in;
}

static PlatformInput key(K kind, int32_t code, int mods = 0)
{
    PlatformInput in = mouse(kind, 0, 0, 0, mods);
    in.key = code;
    return in;
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

TEST(Journal, EveryInputKindRoundTripsThroughItsLine)
{
    struct Case {
        PlatformInput in;
        const char *line;
    } cases[] = {
        {mouse(K::MouseMove, -20, 480, 3, INPUT_MOD_CTRL | INPUT_MOD_SHIFT), "mouse_move -20 480 3 ctrl shift"},
        {mouse(K::MouseMove, 5, 6, 0), "mouse_move 5 6 0"},
        {mouse(K::MouseDown, 100, 200, 1, INPUT_MOD_ALT), "mouse_down 100 200 1 alt"},
        {mouse(K::MouseUp, 100, 200, 3), "mouse_up 100 200 3"},
        {key(K::KeyDown, SDLK_KP_PLUS, INPUT_MOD_CTRL | INPUT_MOD_ALT | INPUT_MOD_SHIFT), "key_down Keypad_+ ctrl alt shift"},
        {key(K::KeyUp, SDLK_LSHIFT), "key_up Left_Shift"},
        {key(K::KeyDown, SDLK_a, INPUT_MOD_SHIFT), "key_down A shift"},
        {text(K::Text, "  two blanks first, one last "), "text   two blanks first, one last "},
        {window(K::DisplayChange, 1), "display_change yes"},
        {window(K::DisplayChange, 0), "display_change no"},
        {text(K::Message, "Cats and Dogs"), "message Cats and Dogs"},
        {window(K::Activate), "activate"},
        {window(K::Deactivate), "deactivate"},
        {window(K::Close), "close"},
        {window(K::Expose), "expose"},
        {window(K::Forward), "forward"},
    };
    bool kind_seen[16] = {};
    int64_t t = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        t += 1000;
        std::string line = format(t, c.in);
        EXPECT_EQ(line, std::to_string(t) + " " + c.line);
        int64_t got_t = -1;
        uint8_t held = 0;
        PlatformInput got;
        ASSERT_EQ(journal_parse_line((line + "\n").c_str(), &got_t, &got, &held), 1);
        EXPECT_EQ(got_t, t);
        expect_same(c.in, got);
        kind_seen[(int)c.in.kind] = true;
    }
    for (int k = 0; k <= (int)K::Forward; k++)
        EXPECT_TRUE(kind_seen[k]) << "no round trip for input kind " << k;
}

TEST(Journal, CommentsBlankAndMalformedLines)
{
    int64_t t;
    PlatformInput got;
    uint8_t held = 0;
    for (const char *line : {"", "\n", "   \t \r\n", "# a comment", "   # indented 5 close"})
        EXPECT_EQ(journal_parse_line(line, &t, &got, &held), 0) << "skipped: '" << line << "'";

    std::string overlong = "5 text " + std::string(600, 'x');
    for (const char *line : {"5", "-1 close", "99999999999 close", "5x close", "5 jump", "5 close now",
                             "5 mouse_move x 2", "5 mouse_move 1 2 4", "5 mouse_move 99999 2", "5 mouse_down 1 2 0",
                             "5 mouse_down 1 2 1 hat", "5 key_down NoSuchKey", "5 key_up A meta",
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

TEST(Journal, LoadPlaysTheInputsInOrder)
{
    TempDir dir;
    std::string path = dir.file("j.txt");
    // CR LF line ends, equal times, and a last line cut off before its line break.
    write_file(path, "# journal\n\n10 activate\r\n10 mouse_down 5 6 1\n25 mouse_move 7 8\n30 mouse_down 7 8 3\n"
                     "35 mouse_move 7 9 0\n40 text  hi");
    char error[256] = "";
    ASSERT_EQ(io_journal_load(path.c_str(), error, sizeof error), 1) << error;
    EXPECT_TRUE(io_journal_playing());
    struct Want {
        int64_t t;
        PlatformInput in;
    } want[] = {{10, window(K::Activate)},
                {10, mouse(K::MouseDown, 5, 6, 1)},
                {25, mouse(K::MouseMove, 7, 8, 1)},  // the left button is still held
                {30, mouse(K::MouseDown, 7, 8, 3)},  // the middle button is not "held"
                {35, mouse(K::MouseMove, 7, 9, 0)},  // an explicit 0 overrides
                {40, text(K::Text, " hi")}};
    for (const Want &w : want) {
        int64_t t = -1;
        PlatformInput in;
        ASSERT_TRUE(io_journal_next_time(&t));
        EXPECT_EQ(t, w.t);
        ASSERT_TRUE(io_journal_take(&in));
        expect_same(w.in, in);
    }
    int64_t t;
    PlatformInput in;
    EXPECT_FALSE(io_journal_next_time(&t)) << "played out";
    EXPECT_FALSE(io_journal_take(&in));
    io_journal_done();
    EXPECT_FALSE(io_journal_playing());
}

TEST(Journal, LoadRefusesBadFilesAndNamesTheLine)
{
    TempDir dir;
    std::string path = dir.file("j.txt");
    struct Case {
        std::string content, error;
    } cases[] = {
        {"10 close\n20 close\n# fine\n15 close\n", path + ":4: time goes backwards"},
        {"10 close\n10 jump\n", path + ":2: not a journal line"},
        {"10 close\n10 " + std::string(100000, 'x') + "\n20 close\n", path + ":2: line too long"},
        {std::string("10 close\n\x01\x02\0\0\n20 close\n", 23), path + ":2: not a journal line"},
    };
    char error[512];
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        // A journal loaded before must not linger behind a refused one.
        write_file(path, "1 close\n");
        ASSERT_EQ(io_journal_load(path.c_str(), error, sizeof error), 1);
        write_file(path, c.content);
        strcpy(error, "");
        EXPECT_EQ(io_journal_load(path.c_str(), error, sizeof error), 0);
        EXPECT_EQ(std::string(error).substr(0, c.error.size()), c.error) << "got: " << error;
        int64_t t;
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

    PlatformInput down = mouse(K::MouseDown, 3, 4, 2, INPUT_MOD_CTRL);
    PlatformInput plus = key(K::KeyDown, SDLK_KP_PLUS);
    PlatformInput nameless = key(K::KeyDown, 0);
    io_journal_record(5, &down);
    io_journal_record(6, &nameless);
    io_journal_record(9, &plus);
    EXPECT_EQ(read_file(path), "old journal\n") << "the old journal survives until the recording ends";
    EXPECT_NE(read_file(part).find("9 key_down Keypad_+\n"), std::string::npos)
        << "each input reaches the .part file at once: " << read_file(part);

    io_journal_record_close();
    EXPECT_NE(access(part.c_str(), F_OK), 0) << "the .part file is renamed, not left behind";
    std::string recorded = read_file(path);
    EXPECT_EQ(recorded[0], '#');
    EXPECT_EQ(recorded.substr(recorded.find('\n') + 1), "5 mouse_down 3 4 2 ctrl\n9 key_down Keypad_+\n");

    char error[256] = "";
    ASSERT_EQ(io_journal_load(path.c_str(), error, sizeof error), 1) << error;
    PlatformInput got;
    ASSERT_TRUE(io_journal_take(&got));
    expect_same(down, got);
    ASSERT_TRUE(io_journal_take(&got));
    expect_same(plus, got);
    EXPECT_FALSE(io_journal_take(&got));
    io_journal_done();

    EXPECT_EQ(io_journal_record_open(dir.file("no/such/folder/rec.txt").c_str()), 0);
}
