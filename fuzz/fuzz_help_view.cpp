// The help viewer's reader on arbitrary bytes as a help file's text: help_file_parse
// must read anything into a sound structure in one counted block, and on every text that
// lt_help_check passes it must find what the check proved is there, so the viewer never
// meets a link or a topic the check let through but the reader lost.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/support.h"
#include "res/lang_numbers.h"
#include "ui/help_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text ends at its first NUL, as it does when the viewer reads it from a file.
    std::string text((const char *)data, size);
    int32_t held = fuzz_blocks_held();
    HelpFile *file = help_file_parse(text.c_str());
    if (file->topic_count < 0 || file->block_count < 0 || (size_t)file->topic_count > size + 1 ||
        (size_t)file->block_count > size + 1)
        fuzz_fail("help_file_parse: counts beyond the text's lines");
    int32_t next_block = 0;
    for (int32_t i = 0; i < file->topic_count; i++) {
        const HelpTopic &t = file->topics[i];
        if (t.number < 0 || t.number > LT_HELP_TOPIC_MAX || !t.title || !t.title[0] || strlen(t.title) > size)
            fuzz_fail("help_file_parse: a topic without a number in range or a title");
        if (t.first_block != next_block || t.block_count < 0 || t.first_block + t.block_count > file->block_count)
            fuzz_fail("help_file_parse: topics' blocks do not follow each other");
        next_block += t.block_count;
    }
    if (next_block != file->block_count)
        fuzz_fail("help_file_parse: blocks outside every topic");
    for (int32_t b = 0; b < file->block_count; b++) {
        const HelpBlock &k = file->blocks[b];
        if (!k.text || strlen(k.text) > size || k.kind < HELP_PARAGRAPH || k.kind > HELP_LINK ||
            (k.kind == HELP_LINK && (k.target < 0 || k.target > LT_HELP_TOPIC_MAX)))
            fuzz_fail("help_file_parse: a block that is not one the viewer can show");
    }
    if (lt_help_check(text.c_str(), nullptr, 0)) {
        for (int32_t b = 0; b < file->block_count; b++)
            if (file->blocks[b].kind == HELP_LINK && !help_file_topic(file, file->blocks[b].target))
                fuzz_fail("a checked file links a topic the reader did not find");
        for (int32_t i = 0; i < lt_help_topics_count; i++)
            if (!help_file_topic(file, lt_help_topics[i]))
                fuzz_fail("a checked file lacks a topic the game opens, as the reader sees it");
    }
    help_file_free(file);
    fuzz_check_balance(held, "help_file_parse");
    return 0;
}
