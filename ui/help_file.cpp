// The help file reader: lines into topics and blocks, all in one counted block.
#include "ui/help_file.h"

#include <cstddef>
#include <cstring>

#include "platform/memory.h"
#include "res/lang_numbers.h"

// Texts longer than this are read up to here, so every count fits an int32_t. No help
// file comes near it; the viewer refuses much smaller ones.
constexpr size_t HELP_TEXT_LIMIT = (size_t)1 << 30;

// Where the reader writes; null arrays during the counting pass.
struct HelpScan {
    HelpTopic *topics;
    HelpBlock *blocks;
    char *pool;
    int32_t topic_count, block_count;
    size_t used;  // bytes of the pool written
};

// "N rest" between s and e, as lt_help_check reads it: digits making 0 to
// LT_HELP_TOPIC_MAX, one or more blanks, and something after them.
static bool help_directive(const char *s, const char *e, int32_t *number, const char **rest)
{
    if (s >= e || *s < '0' || *s > '9')
        return false;
    int32_t v = 0;
    for (; s < e && *s >= '0' && *s <= '9'; s++) {
        v = v * 10 + (*s - '0');
        if (v > LT_HELP_TOPIC_MAX)
            return false;
    }
    if (s >= e || *s != ' ')
        return false;
    while (s < e && *s == ' ')
        s++;
    if (s >= e)
        return false;
    *number = v;
    *rest = s;
    return true;
}

// Appends [s, e) and a terminator to the pool; returns where it starts.
static const char *help_store(HelpScan *scan, const char *s, const char *e)
{
    size_t n = (size_t)(e - s);
    char *at = scan->pool ? scan->pool + scan->used : nullptr;
    if (at) {
        memcpy(at, s, n);
        at[n] = 0;
    }
    scan->used += n + 1;
    return at;
}

// A line that continues the open block: its terminator becomes the blank between them.
static void help_continue(HelpScan *scan, const char *s, const char *e)
{
    if (scan->pool)
        scan->pool[scan->used - 1] = ' ';
    size_t n = (size_t)(e - s);
    if (scan->pool) {
        memcpy(scan->pool + scan->used, s, n);
        scan->pool[scan->used + n] = 0;
    }
    scan->used += n + 1;
}

static void help_block(HelpScan *scan, int32_t kind, int32_t target, const char *s, const char *e)
{
    const char *text = help_store(scan, s, e);
    if (scan->blocks)
        scan->blocks[scan->block_count] = {kind, target, text};
    scan->block_count++;
    if (scan->topics)
        scan->topics[scan->topic_count - 1].block_count++;
}

// One pass over the text; with null arrays it only counts. Every line adds at most its
// length and one byte to the pool, so the pool never outgrows the text plus one.
static void help_scan(const char *text, size_t length, HelpScan *scan)
{
    const char *p = text, *end = text + length;
    bool in_topic = false, open = false;  // open: the last block takes more lines
    while (p < end) {
        const char *nl = (const char *)memchr(p, '\n', (size_t)(end - p));
        const char *e = nl ? nl : end;
        const char *next = nl ? nl + 1 : end;
        if (e > p && e[-1] == '\r')
            e--;
        const char *s = p;
        p = next;
        const char *first = s;
        while (first < e && *first == ' ')
            first++;
        int32_t number;
        const char *rest;
        if (first == e) {
            open = false;  // a blank line ends the paragraph
        } else if (*s == ';') {
            // a comment: passed over, and the paragraph goes on after it
        } else if (e - s >= 7 && memcmp(s, "@topic ", 7) == 0) {
            open = false;
            if (!help_directive(s + 7, e, &number, &rest)) {
                in_topic = false;  // its lines belong to no topic that can be shown
                continue;
            }
            const char *title = help_store(scan, rest, e);
            if (scan->topics)
                scan->topics[scan->topic_count] = {number, title, scan->block_count, 0};
            scan->topic_count++;
            in_topic = true;
        } else if (!in_topic) {
            // text outside a topic
        } else if (e - s >= 6 && memcmp(s, "@link ", 6) == 0) {
            open = false;
            if (help_directive(s + 6, e, &number, &rest))
                help_block(scan, HELP_LINK, number, rest, e);
        } else if (*s == '@') {
            open = false;  // a directive the format does not know
        } else if (e - s >= 2 && s[0] == '-' && s[1] == ' ') {
            help_block(scan, HELP_ITEM, 0, s + 2, e);
            open = true;
        } else if (open) {
            help_continue(scan, s, e);
        } else {
            help_block(scan, HELP_PARAGRAPH, 0, s, e);
            open = true;
        }
    }
}

HelpFile *help_file_parse(const char *text)
{
    size_t length = text ? strnlen(text, HELP_TEXT_LIMIT) : 0;
    HelpScan count = {};
    help_scan(text, length, &count);
    size_t topics = (size_t)count.topic_count * sizeof(HelpTopic);
    size_t blocks = (size_t)count.block_count * sizeof(HelpBlock);
    char *base = (char *)io_mem_alloc(sizeof(HelpFile) + topics + blocks + count.used + 1);
    HelpFile *file = (HelpFile *)base;
    HelpScan scan = {};
    scan.topics = (HelpTopic *)(base + sizeof(HelpFile));
    scan.blocks = (HelpBlock *)(base + sizeof(HelpFile) + topics);
    scan.pool = base + sizeof(HelpFile) + topics + blocks;
    scan.pool[0] = 0;
    help_scan(text, length, &scan);
    file->topic_count = scan.topic_count;
    file->block_count = scan.block_count;
    file->topics = scan.topics;
    file->blocks = scan.blocks;
    return file;
}

void help_file_free(HelpFile *file)
{
    io_mem_free(file);
}

const HelpTopic *help_file_topic(const HelpFile *file, int32_t number)
{
    if (!file)
        return nullptr;
    for (int32_t i = 0; i < file->topic_count; i++)
        if (file->topics[i].number == number)
            return &file->topics[i];
    return nullptr;
}
