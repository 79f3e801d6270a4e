// The saved game's summary, read for the shelf and the gallery without the table.
#include "rooms/play/savegame.h"

#include <cstring>

#include "platform/config.h"
#include "platform/files.h"

const ChunkField savegame_schema[5] = {
    {SAVEGAME_TAG_PLAY_TIME, 4, offsetof(GameSummary, play_time)},
    {SAVEGAME_TAG_DATE, SAVEGAME_DATE_SIZE, offsetof(GameSummary, date)},
    {SAVEGAME_TAG_PROGRESS, 4, offsetof(GameSummary, progress)},
    {SAVEGAME_TAG_PIECE_COUNT, 4, offsetof(GameSummary, piece_count)},
    {0, 0, 0},
};

int savegame_path(char *out, size_t size, const char *box_name)
{
    char built[IO_PATH_MAX];
    int n = snprintf(built, sizeof built, "%s/%s.%s", SAVEGAME_FOLDER, box_name, "qsv");
    if (n < 0 || (size_t)n >= sizeof built || (size_t)n >= size)
        return 0;
    file_resolve_case(built, out, size);
    return 1;
}

FILE *savegame_open(const char *box_name, const ChunkId *id, GameSummary *summary)
{
    memset(summary, 0, sizeof *summary);
    char path[IO_PATH_MAX];
    if (!savegame_path(path, sizeof path, box_name))
        return nullptr;
    FILE *f = chunk_open(path, "rb");
    if (!f)
        return nullptr;
    uint32_t version;
    if (!(chunk_expect_u32(f, CHUNK_QICK) && chunk_expect_id(f, id) && chunk_read_u32(f, &version) &&
          chunk_read_schema(f, savegame_schema, summary, sizeof *summary))) {
        fclose(f);
        memset(summary, 0, sizeof *summary);
        return nullptr;
    }
    // Whatever the file says, the date is a text of at most 63 characters.
    summary->date[SAVEGAME_DATE_SIZE - 1] = 0;
    return f;
}

int game_summary_read(const char *box_name, const ChunkId *id, GameSummary *summary)
{
    memset(summary, 0, sizeof *summary);
    GameSummary s;
    FILE *f = savegame_open(box_name, id, &s);
    if (!f)
        return 0;
    fclose(f);
    // The numbers must be ones the shelf can draw.
    if (s.progress < 0 || s.progress > 100 || s.play_time < 0 || s.piece_count < 0)
        return 0;
    *summary = s;
    return 1;
}
