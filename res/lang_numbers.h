// What the game asks of its language files: the text numbers it uses, the printf
// conversions of the texts it fills in, and the help topics it opens, so that a language
// or help file can be proved complete before any room asks for a missing piece.
#pragma once
#include <cstddef>
#include <cstdint>

// Every text number the game uses, ascending, each once.
extern const int16_t lt_required[];
extern const int lt_required_count;

// The texts the game formats with printf, with the conversions it passes, in order
// ("%s%i%s": a text, a number, a text), and the English text that stands in for a
// translation that does not fit (as the language file writes it, "\n" for a line
// break). Every other text is shown as it stands and is never a printf format, so it
// may hold any character, "100%" included.
struct LtFormat {
    int16_t number;
    const char *conversions;
    const char *english;
};
extern const LtFormat lt_formats[];
extern const int lt_formats_count;

// The format record of text `number`, null for a text shown as it stands.
const LtFormat *lt_format_of(int32_t number);

// 1 when `text` is safe as text `number`: a formatted text holds exactly its conversions
// in order (%d counts as %i; flags, a width and a precision of at most two digits, and
// "%%" are allowed); any other text is always safe. 0 otherwise, so a slip in a
// translation is caught before printf reads an argument that was never passed.
int lt_format_ok(int32_t number, const char *text);

// The help topics the game opens: the contents (0) and each room's help. Buttons that
// ask for a topic with bit 0x1000 set (4397) open the topic without it (301) in the
// second help window.
extern const int16_t lt_help_topics[];
extern const int lt_help_topics_count;
constexpr int LT_HELP_TOPIC_MAX = 4095;

// Checks a help file's text (format in README.md, "Help files"): only printable ASCII,
// "@topic N Title" with N from 0 to LT_HELP_TOPIC_MAX at most once each, a title and at
// least one line of text in every topic, "@link N Text" naming a topic of the file,
// every topic of lt_help_topics present, and topic 0 linking to every other topic.
// 1 when it passes; else 0 with the first fault, naming its line, in `why`.
int lt_help_check(const char *text, char *why, size_t why_size);
