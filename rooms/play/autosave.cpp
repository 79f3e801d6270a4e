// Saving the game while it is played: the bytes are made on the game's own thread, where
// the table is, and a helper thread writes them, so the disk's flush never holds up a
// frame. One write at a time; a save due while one runs waits for the next look.
#include "rooms/play/autosave.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "platform/config.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/loop.h"
#include "platform/memory.h"
#include "puzzle/table.h"
#include "rooms/play/game_file.h"
#include "rooms/play/playroom.h"

AutosaveStats autosave_stats;
int autosave_background = 1;

namespace {

struct Autosave {
    bool on;                 // a game is on the table
    bool join_pending;
    int64_t last_ms;         // game time of the last save begun
    int64_t next_look_ms;    // when nothing moved, the periodic save looks again then
    size_t size;             // of a saved game of this table
    uint8_t *bytes;          // the save being written (the helper's while it runs)
    uint8_t *saved;          // the last save begun, to tell whether pieces moved since
    bool saved_valid;
    char path[IO_PATH_MAX];
    int32_t progress, play_time;  // of the save being written, for the log
    std::thread helper;
    std::atomic<bool> done;
    bool running;
    int result;
};
Autosave as;

void note_result(int ok)
{
    if (ok) {
        autosave_stats.written++;
        io_log("autosave: saved at %lld ms: progress %i, %i s played\n", (long long)autosave_stats.last_ms,
               as.progress, as.play_time);
    } else {
        autosave_stats.failed++;
        as.saved_valid = false;  // tried again at the next look
        io_log("autosave: the game could not be saved (%s)\n", as.path);
    }
}

// Takes in the helper's write once it has ended; with `wait`, waits for it.
void collect(bool wait)
{
    if (!as.running || (!wait && !as.done.load(std::memory_order_acquire)))
        return;
    as.helper.join();
    as.running = false;
    note_result(as.result);
}

void helper_write(void)
{
    as.result = game_write(as.path, as.bytes, as.size);
    as.done.store(true, std::memory_order_release);
}

// The summary as the save on leaving would write it now.
GameSummary summary_now(void)
{
    GameSummary s = playroom.summary;
    s.progress = table.progress;
    if (table.progress < 100)
        s.play_time += (int32_t)std::max<int64_t>((io_time() - playroom.start_tick) / 1000, 0);
    return s;
}

// Makes the bytes of the table now; false when they are the last save's but for the
// summary (nothing moved) and `always` is not set.
bool encode(bool always)
{
    GameSummary s = summary_now();
    size_t n = game_encode(as.bytes, &playroom.id, &s);
    if (n != as.size)
        return false;
    bool moved = !as.saved_valid || memcmp(as.bytes + GAME_TABLE_RECORDS, as.saved + GAME_TABLE_RECORDS,
                                           as.size - GAME_TABLE_RECORDS) != 0;
    if (!moved && !always)
        return false;
    memcpy(as.saved, as.bytes, as.size);
    as.saved_valid = true;
    as.progress = s.progress;
    as.play_time = s.play_time;
    return true;
}

// Begins writing the bytes made: beside the game on the live clock, at once in a replay.
void begin_write(bool wait)
{
    autosave_stats.last_ms = io_time();
    as.last_ms = as.next_look_ms = io_time();
    if (wait || !autosave_background || io_clock_playback()) {
        note_result(game_write(as.path, as.bytes, as.size));
        return;
    }
    as.done.store(false, std::memory_order_relaxed);
    as.running = true;
    as.helper = std::thread(helper_write);
}

}  // namespace

void autosave_begin(void)
{
    autosave_end();
    autosave_stats = {};
    if (!playroom.loaded || !savegame_path(as.path, sizeof as.path, playroom.box_name))
        return;
    // Copies left by a crash in the middle of a save; the saved games are untouched.
    io_temp_trim(SAVEGAME_FOLDER, "*.qsv.*.part", -1);
    as.size = game_bytes_size(table.count);
    as.bytes = (uint8_t *)io_mem_alloc(as.size);
    as.saved = (uint8_t *)io_mem_alloc(as.size);
    as.saved_valid = false;
    as.join_pending = false;
    as.last_ms = as.next_look_ms = io_time();
    as.on = true;
}

void autosave_joined(void)
{
    as.join_pending = as.on;
}

void autosave_poll(void)
{
    collect(false);
    if (!as.on || as.running || !playroom.loaded)
        return;
    int64_t now = io_time();
    if (as.join_pending) {
        as.join_pending = false;
        io_log("autosave: pieces joined, progress %i\n", table.progress);
        if (encode(true))
            begin_write(false);
        return;
    }
    if (now - as.last_ms < AUTOSAVE_PERIOD_MS || now < as.next_look_ms)
        return;
    if (encode(false))
        begin_write(false);
    else
        as.next_look_ms = now + AUTOSAVE_RECHECK_MS;
}

int autosave_save_now(bool wait)
{
    collect(wait);
    if (!as.on || as.running || !playroom.loaded || !encode(true))
        return 0;
    as.join_pending = false;
    begin_write(wait);
    return 1;
}

void autosave_wait(void)
{
    collect(true);
}

void autosave_end(void)
{
    collect(true);
    io_mem_free(as.bytes);
    io_mem_free(as.saved);
    as.bytes = as.saved = nullptr;
    as.on = false;
    as.join_pending = false;
}
