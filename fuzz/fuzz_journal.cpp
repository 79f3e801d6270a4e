// The input journal reader on arbitrary bytes as a journal file: io_journal_load, then
// every input played out. Each input the journal gives must be written again as a line
// that reads back as the very same input, as recording and playing back rely on.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/support.h"
#include "platform/journal.h"

static bool same_input(const PlatformInput &a, const PlatformInput &b)
{
    return a.kind == b.kind && a.mods == b.mods && a.button == b.button && a.answer == b.answer && a.x == b.x &&
           a.y == b.y && a.key == b.key && strcmp(a.text, b.text) == 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz_path("input.journal");
    fuzz_write(path, data, size);
    char error[256] = "";
    int ok = io_journal_load(path.c_str(), error, sizeof error);
    if (ok != (int)io_journal_playing() || (!ok && !error[0]))
        fuzz_fail("io_journal_load refused a journal without saying why");
    int64_t last = 0, time_ms;
    PlatformInput in;
    while (io_journal_next_time(&time_ms)) {
        if (time_ms < last || !io_journal_take(&in))
            fuzz_fail("the journal plays back out of order");
        last = time_ms;
        char line[JOURNAL_LINE_MAX];
        if (!journal_format_line(time_ms, &in, line, sizeof line)) {
            // A text with a carriage return inside is read as typed, but a line of its
            // own could not hold it.
            if ((in.kind == InputKind::Text || in.kind == InputKind::Message) && strchr(in.text, '\r'))
                continue;
            fuzz_fail("an input read from a journal cannot be written again");
        }
        int64_t again_ms;
        PlatformInput again;
        uint8_t held = 0;
        if (journal_parse_line(line, &again_ms, &again, &held) != 1 || again_ms != time_ms || !same_input(in, again))
            fuzz_fail("an input written again reads back as another");
    }
    io_journal_done();
    return 0;
}
