// Saving and restoring the table of a game in progress.
#include "rooms/play/game_file.h"

#include <algorithm>
#include <cstring>

#include "platform/config.h"
#include "puzzle/table.h"

// Places further than this from the centre are not of any table: a damaged or hostile
// file is brought back within reach before the pieces are kept on the table.
constexpr int64_t GAME_FAR = 1 << 20;

int game_save(const char *box_name, const ChunkId *id, GameSummary *summary)
{
    char path[IO_PATH_MAX];
    if (!savegame_path(path, sizeof path, box_name))
        return 0;
    SafeFile sf;
    if (!chunk_create(&sf, path))
        return 0;
    summary->piece_count = table.count;
    uint32_t n = (uint32_t)table.count;
    int ok = chunk_write_id(sf.f, id) && chunk_write_u32(sf.f, CHUNK_VERSION_BOX) &&
             chunk_write_schema(sf.f, savegame_schema, summary, sizeof *summary) &&
             chunk_write_header(sf.f, SAVEGAME_TAG_PIECES, SAVEGAME_PIECE_BYTES * n);
    for (int32_t i = 0; ok && i < table.count; i++) {
        const Piece &p = table.pieces[i];
        int32_t words[5] = {p.x - table.width / 2, p.y - table.height / 2, p.lift, p.angle, p.group};
        for (int32_t w : words)
            ok = ok && chunk_write_u32(sf.f, (uint32_t)w);
    }
    ok = ok && chunk_write_header(sf.f, SAVEGAME_TAG_STACK, SAVEGAME_STACK_BYTES * n);
    for (int32_t i = table.bottom, steps = 0; ok && i != -1 && steps < table.count; i = table.pieces[i].above, steps++)
        ok = chunk_write_u32(sf.f, (uint32_t)i);
    if (!ok) {
        chunk_abort(&sf);
        return 0;
    }
    return chunk_commit(&sf, CHUNK_QICK);
}

static int32_t read_place(uint32_t word, int32_t half)
{
    return (int32_t)std::clamp<int64_t>((int64_t)(int32_t)word + half, -GAME_FAR, GAME_FAR);
}

int game_load(const char *box_name, const ChunkId *id, GameSummary *summary)
{
    GameSummary s;
    FILE *f = savegame_open(box_name, id, &s);
    if (!f)
        return 0;
    uint32_t length, n = (uint32_t)table.count;
    int ok = s.piece_count == table.count && fseek(f, CHUNK_FIRST_RECORD, SEEK_SET) == 0 &&
             chunk_find(f, SAVEGAME_TAG_PIECES, &length) && length >= SAVEGAME_PIECE_BYTES * n;
    for (int32_t i = 0; ok && i < table.count; i++) {
        uint32_t w[5];
        for (uint32_t &v : w)
            ok = ok && chunk_read_u32(f, &v);
        if (!ok)
            break;
        Piece &p = table.pieces[i];
        p.x = read_place(w[0], table.width / 2);
        p.y = read_place(w[1], table.height / 2);
        p.lift = (int32_t)w[2];
        p.angle = (int32_t)(w[3] % 360);
        p.group = (int32_t)w[4];
    }
    ok = ok && fseek(f, CHUNK_FIRST_RECORD, SEEK_SET) == 0 && chunk_find(f, SAVEGAME_TAG_STACK, &length);
    for (uint32_t k = 0; ok && k < n && k < length / SAVEGAME_STACK_BYTES; k++) {
        uint32_t i;
        ok = chunk_read_u32(f, &i);
        if (ok && i < n)
            piece_to_top((int32_t)i);
    }
    fclose(f);
    if (!ok)
        return 0;
    *summary = s;
    return 1;
}
