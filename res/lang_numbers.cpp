// The text numbers and help topics the game uses, and the checks that prove a language
// or help file provides them. The rooms ask for these numbers; the data generator refuses
// to pack a language file without them, so a missing text never surfaces as a fatal
// "lt_get" in front of a player.
#include "res/lang_numbers.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "res/lang.h"

constexpr int16_t lt_required[] = {
    // shared windows
    15,   // title of the info windows (store, create room, gallery)
    16,   // a box of that name exists already (new box, rename)
    19,   // about window: the line that opens the credits
    25,   // editing refused: the picture is larger than the create room's desk
    // store room
    100,  // room title
    101,  // under the preview of a new box
    105,  // finished-picture dialog: title
    106,  // finished-picture dialog: hang it in the gallery
    107,  // finished-picture dialog: make it the desktop wallpaper
    108,  // the wallpaper could not be set
    109,  // a box that cannot be opened
    110,  // main panel: open the selected box
    111,  // main panel: create a box
    112,  // main panel: make a gift
    113,  // main panel: gallery
    115,  // main panel: help
    116,  // main panel: quit
    120,  // tools window: title
    121,  // tools: edit
    122,  // tools: delete
    123,  // tools: finished picture
    124,  // tools: rename
    125,  // tools: about
    126,  // tools: restart
    127,  // tools: the publisher's web page
    128,  // tools: options
    130,  // info text: name
    131,  // info text: picture size
    132,  // info text: progress
    134,  // info text: play time
    140,  // delete one box?
    141,  // delete several boxes?
    145,  // restart one box?
    146,  // restart several boxes?
    150,  // no box selected where one is needed
    151,  // several boxes selected where one is needed
    152,  // no box selected where at least one is needed
    153,  // refused for a link box
    155,  // finished picture refused: the puzzle is not finished
    156,  // rename: title of the text entry
    158,  // editing refused for a surprise box
    // gifts
    170,  // gift dialog: title
    171,  // label of the sender's name
    172,  // label of the dedication
    173,  // surprise check box
    174,  // button: send by mail
    175,  // button: save
    176,  // button: cancel
    177,  // an opened gift: who it is from (name)
    178,  // an opened gift without a name
    179,  // a gift that cannot be opened (the reason)
    180,  // boxes of an opened gift now on the shelf (count)
    181,  // the one box of an opened gift now on the shelf (name)
    183,  // no box to put in the gift
    184,  // the gift file could not be written
    185,  // the gift was not sent by mail
    190,  // store room title in the gift interface
    191,  // gift panel: open the selected box
    192,  // gift panel: leave the gift interface
    193,  // gift panel: help
    194,  // gift panel: quit
    // play room
    200,  // room title
    201,  // caption of the cutting progress
    202,  // a finished box: start again?
    203,  // ghost and picture refused for a surprise box
    210,  // control panel: arrange
    211,  // control panel: ghost
    212,  // control panel: picture window
    213,  // control panel: help
    214,  // control panel: leave
    220,  // picture window caption
    230,  // completion: box name, piece count, play time
    231,  // the game could not be saved on leaving
    240,  // control panel: select the edge pieces
    241,  // control panel: spread the loose pieces
    250,  // hint of the arrange button, with its key
    251,  // hint of the ghost button
    252,  // hint of the picture window button
    253,  // hint of the help button
    254,  // hint of the leave button
    255,  // hint of the edge pieces button
    256,  // hint of the spread button
    // gallery
    300,  // room title
    301,  // leaving with a picture in hand?
    302,  // mouse-look button
    303,  // hang with an empty hand
    304,  // take down where there is no picture
    306,  // the gallery could not be saved
    310,  // info text of an empty frame
    311,  // info text: name
    312,  // info text: pieces
    313,  // info text: play time
    314,  // info text: completion date
    320,  // view window title
    330,  // hand window title
    331,  // hand: hang
    332,  // hand: take down
    333,  // hand: discard
    // create room
    400,  // room title for a new box
    401,  // prompt for the new box's name
    402,  // a new box could not be written
    403,  // an edited box could not be replaced
    410,  // info text: name
    411,  // info text: pieces
    412,  // info text: picture size
    413,  // info text: the smallest screen that shows the picture whole (width, height)
    420,  // picture window title
    421,  // load a picture
    422,  // the publisher's web page
    423,  // picture size trackbar
    424,  // fit the picture to the desk
    430,  // the picture could not be read
    431,  // the picture is smaller than 40 pixels
    440,  // pieces window title
    441,  // random cut
    442,  // piece size trackbar
    443,  // jitter trackbar
    450,  // extras window title
    452,  // rotation check box
    453,  // surprise check box
    454,  // music check box
    455,  // loop music check box
    456,  // play the music
    457,  // stop the music
    460,  // the chosen music is not a MIDI file
    500,  // room title while editing a box
};
constexpr int lt_required_count = (int)(sizeof lt_required / sizeof lt_required[0]);

const LtFormat lt_formats[] = {
    // the sender's name
    {177, "%s", "A gift from %s"},
    // why the gift cannot be opened
    {179, "%s", "This gift could not be opened:\\n%s"},
    // number of boxes
    {180, "%i", "%i boxes are now on your shelf."},
    // box name
    {181, "%s", "The box \"%s\" is now on your shelf."},
    // box name, piece count, play time
    {230, "%s%i%s", "Congratulations!\\nYou have finished \"%s\":\\n%i pieces in %s."},
    // screen width, screen height
    {413, "%i%i", "Full size from %ix%i"},
};
const int lt_formats_count = (int)(sizeof lt_formats / sizeof lt_formats[0]);

const int16_t lt_help_topics[] = {
    0,    // contents
    10,   // the gift interface of the store room
    200,  // play room
    210,  // play room: the game saved as you play
    220,  // play room: the edge pieces first
    230,  // play room: spreading the heap
    240,  // play room: finding a hidden piece
    250,  // play room: playing with the keys
    300,  // gallery
    301,  // gallery view window (asked for as 4397)
    302,  // gallery hand window (4398)
    400,  // create room, new box
    401,  // create room picture window (4497)
    402,  // create room pieces window (4498)
    403,  // create room extras window (4499)
    500,  // create room, editing a box
};
const int lt_help_topics_count = (int)(sizeof lt_help_topics / sizeof lt_help_topics[0]);

// A number outside the text table, out of order or listed twice is a slip in the list
// above; the build refuses it.
static constexpr bool lt_numbers_sound()
{
    for (int i = 0; i < lt_required_count; i++)
        if (lt_required[i] < 0 || lt_required[i] >= LT_COUNT || (i > 0 && lt_required[i] <= lt_required[i - 1]))
            return false;
    return true;
}
static_assert(lt_numbers_sound(), "lt_required must ascend within 0 .. LT_COUNT - 1");

// The conversion letters of a format ("%s: %3i%%" gives "si"), %d read as %i. 0 when a
// conversion is one the game never passes: another letter, a length modifier, a '*', or
// a width or precision of more than two digits.
static int lt_conversions(const char *text, char *out, size_t size)
{
    size_t n = 0;
    for (const char *p = text; *p; p++) {
        if (*p != '%')
            continue;
        p++;
        if (*p == '%')
            continue;
        while (*p && strchr("-+ #0", *p))
            p++;
        int width = 0, precision = 0;
        while (*p >= '0' && *p <= '9')
            p++, width++;
        if (*p == '.') {
            p++;
            while (*p >= '0' && *p <= '9')
                p++, precision++;
        }
        if (width > 2 || precision > 2)
            return 0;
        char c = *p == 'd' ? 'i' : *p;
        if (c != 'i' && c != 's')
            return 0;
        if (n + 1 >= size)
            return 0;
        out[n++] = c;
    }
    out[n] = 0;
    return 1;
}

const LtFormat *lt_format_of(int32_t number)
{
    for (int i = 0; i < lt_formats_count; i++)
        if (lt_formats[i].number == number)
            return &lt_formats[i];
    return nullptr;
}

int lt_format_ok(int32_t number, const char *text)
{
    const LtFormat *format = lt_format_of(number);
    if (!format)
        return 1;  // shown as it stands, never handed to printf as a format
    const char *expected = format->conversions;
    char want[16], got[16];
    if (!lt_conversions(expected, want, sizeof want) || !lt_conversions(text, got, sizeof got))
        return 0;
    return strcmp(want, got) == 0;
}

// Reads "N rest" after a directive: the number (0 to LT_HELP_TOPIC_MAX) and where the
// rest begins. 0 when there is no such number or nothing follows it.
static int help_number(const char *s, int *number, const char **rest)
{
    if (*s < '0' || *s > '9')
        return 0;
    char *end;
    long v = strtol(s, &end, 10);
    if (v > LT_HELP_TOPIC_MAX || *end != ' ')
        return 0;
    while (*end == ' ')
        end++;
    if (!*end)
        return 0;
    *number = (int)v;
    *rest = end;
    return 1;
}

static int help_fault(char *why, size_t size, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    if (why && size)
        vsnprintf(why, size, format, ap);
    va_end(ap);
    return 0;
}

int lt_help_check(const char *text, char *why, size_t why_size)
{
    struct HelpLink {
        int from, to, line;
    };
    std::vector<int> topic_line(LT_HELP_TOPIC_MAX + 1, 0);  // line of each topic, 0: none
    std::vector<int> body(LT_HELP_TOPIC_MAX + 1, 0);        // lines of text in each
    std::vector<HelpLink> links;
    int current = -1;
    int line_no = 0;
    const char *p = text;
    while (*p) {
        line_no++;
        const char *nl = strchr(p, '\n');
        size_t len = nl ? (size_t)(nl - p) : strlen(p);
        std::string line(p, len);
        p += len + (nl ? 1 : 0);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        for (unsigned char c : line)
            if (c < 32 || c > 126)
                return help_fault(why, why_size, "line %i: character %i is not printable ASCII", line_no, c);
        if (line.empty() || line[0] == ';')
            continue;
        int number;
        const char *rest;
        if (line.compare(0, 7, "@topic ") == 0) {
            if (!help_number(line.c_str() + 7, &number, &rest))
                return help_fault(why, why_size, "line %i: @topic wants a number 0 to %i and a title", line_no,
                                  LT_HELP_TOPIC_MAX);
            if (topic_line[number])
                return help_fault(why, why_size, "line %i: topic %i is already on line %i", line_no, number,
                                  topic_line[number]);
            topic_line[number] = line_no;
            current = number;
        } else if (current < 0) {
            return help_fault(why, why_size, "line %i: text before the first @topic", line_no);
        } else if (line.compare(0, 6, "@link ") == 0) {
            if (!help_number(line.c_str() + 6, &number, &rest))
                return help_fault(why, why_size, "line %i: @link wants a topic number and a text", line_no);
            links.push_back({current, number, line_no});
            body[current]++;
        } else if (line[0] == '@') {
            return help_fault(why, why_size, "line %i: unknown directive", line_no);
        } else {
            body[current]++;
        }
    }
    for (int t = 0; t <= LT_HELP_TOPIC_MAX; t++)
        if (topic_line[t] && !body[t])
            return help_fault(why, why_size, "topic %i (line %i) has no text", t, topic_line[t]);
    for (const HelpLink &l : links)
        if (!topic_line[l.to])
            return help_fault(why, why_size, "line %i: link to topic %i, which the file lacks", l.line, l.to);
    for (int i = 0; i < lt_help_topics_count; i++)
        if (!topic_line[lt_help_topics[i]])
            return help_fault(why, why_size, "topic %i is missing", lt_help_topics[i]);
    for (int t = 1; t <= LT_HELP_TOPIC_MAX; t++) {
        if (!topic_line[t])
            continue;
        bool listed = false;
        for (const HelpLink &l : links)
            listed = listed || (l.from == 0 && l.to == t);
        if (!listed)
            return help_fault(why, why_size, "the contents (topic 0) do not list topic %i", t);
    }
    return 1;
}
