// Saving and restoring the table of a game in progress.
#include "rooms/play/game_file.h"

#include <algorithm>
#include <cstring>

#include "platform/config.h"
#include "platform/memory.h"
#include "puzzle/table_tools.h"

// Places further than this from the centre are not of any table: a damaged or hostile
// file is brought back within reach before the pieces are kept on the table.
constexpr int64_t GAME_FAR = 1 << 20;

size_t game_bytes_size(int32_t count)
{
    size_t n = (size_t)std::max(count, 0);
    return GAME_TABLE_RECORDS + 8 + SAVEGAME_PIECE_BYTES * n + 8 + SAVEGAME_STACK_BYTES * n;
}

static uint8_t *put_u32(uint8_t *at, uint32_t v)
{
    at[0] = (uint8_t)v, at[1] = (uint8_t)(v >> 8), at[2] = (uint8_t)(v >> 16), at[3] = (uint8_t)(v >> 24);
    return at + 4;
}

size_t game_encode(uint8_t *out, const ChunkId *id, const GameSummary *summary)
{
    uint8_t *at = put_u32(out, CHUNK_QICK);
    for (uint32_t w : id->word)
        at = put_u32(at, w);
    at = put_u32(at, CHUNK_VERSION_BOX);
    GameSummary s = *summary;
    s.piece_count = table.count;
    for (const ChunkField &f : savegame_schema) {
        if (f.tag == 0)
            break;
        at = put_u32(put_u32(at, f.tag), f.size);
        if (f.size == 4) {
            int32_t v;
            memcpy(&v, (const char *)&s + f.offset, 4);
            at = put_u32(at, (uint32_t)v);
        } else {
            memcpy(at, (const char *)&s + f.offset, f.size);
            at += f.size;
        }
    }
    uint32_t n = (uint32_t)table.count;
    at = put_u32(put_u32(at, SAVEGAME_TAG_PIECES), SAVEGAME_PIECE_BYTES * n);
    for (int32_t i = 0; i < table.count; i++) {
        const Piece &p = table.pieces[i];
        TableSpot rest = table_rest_place(i);
        int32_t words[5] = {rest.x - table.width / 2, rest.y - table.height / 2, 0, rest.angle, p.group};
        for (int32_t w : words)
            at = put_u32(at, (uint32_t)w);
    }
    at = put_u32(put_u32(at, SAVEGAME_TAG_STACK), SAVEGAME_STACK_BYTES * n);
    for (int32_t i = table.bottom, steps = 0; i != -1 && steps < table.count; i = table.pieces[i].above, steps++)
        at = put_u32(at, (uint32_t)i);
    return (size_t)(at - out);
}

int game_write(const char *path, const uint8_t *bytes, size_t size)
{
    if (size < 4)
        return 0;
    SafeFile sf;
    if (!chunk_create(&sf, path))
        return 0;
    if (!chunk_write_exact(sf.f, bytes + 4, size - 4)) {
        chunk_abort(&sf);
        return 0;
    }
    uint32_t magic = (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 | (uint32_t)bytes[3] << 24;
    return chunk_commit(&sf, magic);
}

int game_save(const char *box_name, const ChunkId *id, GameSummary *summary)
{
    char path[IO_PATH_MAX];
    if (!savegame_path(path, sizeof path, box_name))
        return 0;
    summary->piece_count = table.count;
    size_t size = game_bytes_size(table.count);
    uint8_t *bytes = (uint8_t *)io_mem_alloc(size);
    int ok = game_encode(bytes, id, summary) == size && game_write(path, bytes, size);
    io_mem_free(bytes);
    return ok;
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
