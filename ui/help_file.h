// Help files read into memory: the game's own text format of numbered topics (README.md,
// "Help files"), turned into topics of blocks - paragraphs, list items and links - held
// in one counted block per file.
#pragma once
#include <cstdint>

enum HelpBlockKind : int32_t {
    HELP_PARAGRAPH = 0,  // lines that follow each other, joined with blanks
    HELP_ITEM = 1,       // a line that starts with "- ", and the lines that continue it
    HELP_LINK = 2,       // "@link N Text": opens topic N
};

struct HelpBlock {
    int32_t kind;    // HelpBlockKind
    int32_t target;  // HELP_LINK: the topic it opens
    const char *text;
};

struct HelpTopic {
    int32_t number;  // 0 to LT_HELP_TOPIC_MAX
    const char *title;
    int32_t first_block, block_count;
};

struct HelpFile {
    int32_t topic_count, block_count;
    HelpTopic *topics;  // in the order of the file
    HelpBlock *blocks;  // every topic's blocks, one run after another
};

// Reads a help text into one io_mem_alloc block (texts included), never null. Anything
// is read safely: lines the format does not know, text before the first topic, and
// malformed directives are passed over, a repeated topic number is found as its first
// occurrence, and a link may name a topic the file lacks. The viewer shows only files
// that lt_help_check passes; the reader does not rely on it.
HelpFile *help_file_parse(const char *text);
void help_file_free(HelpFile *file);

// The first topic with that number, or null.
const HelpTopic *help_file_topic(const HelpFile *file, int32_t number);
