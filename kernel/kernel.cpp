// The process: start-up, the order of initialisation, the main loop with its idle step,
// and the order of teardown.
#include "kernel/kernel.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/utsname.h>
#include <unistd.h>

#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "image/imgfile.h"
#include "ui/dialog.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/journal.h"
#include "platform/log.h"
#include "platform/loop.h"
#include "platform/memory.h"
#include "platform/platform.h"
#include "platform/video.h"
#include "platform/gdi.h"
#include "rooms/create/createroom.h"
#include "rooms/gallery/galleryroom.h"
#include "rooms/gift/gift.h"
#include "rooms/play/playroom.h"
#include "rooms/store/storeroom.h"
#include "res/gdi_text.h"
#include "kernel/splash.h"
#include "media/feedback.h"
#include "media/mail.h"
#include "media/media.h"
#include "media/music.h"
#include "media/sound.h"
#include "puzzle/curve.h"
#include "res/datapack.h"
#include "res/lang.h"
#include "res/settings.h"
#include "ui/button.h"
#include "ui/desktop.h"
#include "ui/fonts.h"
#include "ui/options.h"
#include "ui/skin.h"
#include "ui/stdwin.h"
#include "ui/trackbar.h"
#include "ui/window.h"


constexpr const char *KERNEL_TITLE = "Pelmora";
constexpr const char *KERNEL_TEMP_FOLDER = "sfiles/temp";
constexpr int64_t KERNEL_TEMP_BUDGET = 30000000;
constexpr int KERNEL_INACTIVE_WAIT_MS = 100;  // how often an inactive game looks at signals

// Files that carry a box between rooms; none of them outlives a run.
static constexpr const char *kernel_scratch_files[] = {
    "sfiles/bmidi.mid", "sfiles/bimage.tmp", "sfiles/bimage2.tmp",
    "sfiles/bdesc.tmp", "sfiles/baddress.tmp", "sfiles/a.tmp",
};

static volatile sig_atomic_t kernel_signalled;  // SIGINT or SIGTERM arrived

constexpr int32_t KERNEL_EARLY_NAMES = 8;

static struct {
    char cwd[KERNEL_PATH_MAX];
    char cmdline[4096];
    KernelArgs args;
    bool initialised;
    bool app_active;
    bool closed;          // teardown has run
    bool playback;
    LoopClock clock;
    int64_t ticks, frames;
    char status[KERNEL_STATUS_MAX + 1];
    char door_note[256];  // why there is no door, logged once the log is open
    void (*drop_handler)(const char *path);  // where files dropped on the window go
    // Box names and gifts handed in while the game starts, when no event is delivered
    // yet; they go to the shelf once start-up is through. The kind is the IO_TEXT `a`.
    char early_names[KERNEL_EARLY_NAMES][INPUT_TEXT_MAX];
    int32_t early_kinds[KERNEL_EARLY_NAMES];
    int32_t early_count;
    char gift[KERNEL_PATH_MAX];  // a gift file named on the command line
} kern;

// --- the idle step ---

IdleStep kernel_idle_step(LoopClock *clock, int64_t now, uint32_t tick_ms)
{
    IdleStep step = {};
    if (tick_ms == 0) {
        step.frame = true;
        return step;
    }
    int64_t n = (now - clock->clock_base) / (int64_t)tick_ms - clock->ticks_done;
    if (n >= 1) {
        clock->ticks_done += 1;
        clock->game_time += tick_ms;
        step.tick = true;
        step.game_time = (int32_t)clock->game_time;
        if (n >= 2)
            return step;  // behind: the owed ticks come first, frames wait
    }
    step.frame = true;
    return step;
}

void kernel_clock_reset(LoopClock *clock, int64_t now)
{
    clock->clock_base = now;
    clock->ticks_done = 0;
}

int64_t kernel_next_tick_time(const LoopClock *clock, uint32_t tick_ms)
{
    return clock->clock_base + (clock->ticks_done + 1) * (int64_t)tick_ms;
}

// --- small accessors ---

void kernel_quit(void)
{
    io_request_quit();
}

bool kernel_events_enabled(void)
{
    return io_events_enabled();
}

void kernel_enable_events(bool on)
{
    // Whoever switches events on gets the kernel's handler and loop behind them.
    io_set_event_handler(kernel_event);
    io_set_loop_turn(kernel_loop_turn);
    io_set_pump(io_pump);
    io_events_enable(on);
    for (int32_t i = 0; on && i < kern.early_count; i++)
        io_post_event(IO_TEXT, kern.early_kinds[i], (intptr_t)kern.early_names[i], 0);
    if (on)
        kern.early_count = 0;
}

bool kernel_app_active(void)
{
    return kern.app_active;
}

void kernel_post_close(void)
{
    io_post_close();
}

void kernel_status(const char *text)
{
    // The status line lives on the splash window, which start-up opens once the
    // intro picture can be loaded; without it there is nothing to show.
    snprintf(kern.status, sizeof kern.status, "%s", text);
    if (!splash_is_open())
        return;
    splash_status(kern.status);
    io_pump();  // start-up is long: the window system is answered between steps
}

// Milliseconds since the main loop started, on the virtual clock during playback.
static int64_t kernel_now(void)
{
    return io_time();
}

// --- input ---

static void on_signal(int)
{
    kernel_signalled = 1;
}

static void install_signal_handlers(void)
{
    struct sigaction sa = {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

// Takes the next input from wherever inputs come from now: a signal first, then the
// journal during playback, else the window system and the door. Inputs are journalled
// when a recording runs.
int kernel_take_input(PlatformInput *in)
{
    int64_t now = kernel_now();
    bool got = false;
    if (kernel_signalled) {
        kernel_signalled = 0;
        memset(in, 0, sizeof *in);
        in->kind = InputKind::Close;
        got = true;
    } else if (kern.playback) {
        PlatformInput ignored;
        while (io_platform_poll(&ignored)) {
            // a replayed session hears nothing but its journal
        }
        int64_t t;
        got = io_journal_next_time(&t) && t <= now && io_journal_take(in);
    } else {
        got = io_platform_poll(in) || io_instance_poll(in);
        if (got && in->kind == InputKind::DisplayChange) {
            // The answer is part of the input, so a replayed session decides the same way.
            in->answer = (uint8_t)io_message_box(
                kernel_config.title,
                "The display resolution has changed. It is recommended to restart this program.\nExit?.",
                IO_MB_YESNO, IO_MB_ICON_QUESTION);
        }
    }
    if (got)
        io_journal_record(now, in);
    return got ? 1 : 0;
}

static void set_active(bool active)
{
    if (active == kern.app_active)
        return;
    kern.app_active = active;
    if (active)
        kernel_clock_reset(&kern.clock, kernel_now());
    if (io_events_enabled())
        io_post_event(IO_INTERRUPT, 0, 0, 0);
}

void kernel_set_drop_handler(void (*handler)(const char *path))
{
    kern.drop_handler = handler;
}

// A file dropped on the window. Under a modal window the room would act behind the
// player's back, so the drop goes nowhere then.
static void kernel_drop(const char *path)
{
    if (!io_events_enabled() || !kern.drop_handler || window_has_modal()) {
        io_log("kernel: a dropped file goes nowhere (%s)\n", path);
        return;
    }
    kern.drop_handler(path);
}

void kernel_dispatch_input(const PlatformInput *in)
{
    // An open dialog's edit fields take typed text, their editing keys and clicks first.
    if (io_dialog_open() && io_dialog_input(in))
        return;
    switch (in->kind) {
    case InputKind::Close: io_post_close(); break;
    case InputKind::Activate: set_active(true); break;
    case InputKind::Deactivate: set_active(false); break;
    case InputKind::Forward:
        io_log("kernel: another start asked for the game\n");
        io_platform_raise();
        break;
    case InputKind::Message:
        if (io_events_enabled()) {
            io_post_event(IO_TEXT, in->x, (intptr_t)in->text, 0);
        } else if (kern.early_count < KERNEL_EARLY_NAMES) {
            kern.early_kinds[kern.early_count] = in->x;
            snprintf(kern.early_names[kern.early_count++], INPUT_TEXT_MAX, "%s", in->text);
        } else {
            io_log("kernel: box handed in during start-up dropped (%s)\n", in->text);
        }
        break;
    case InputKind::Drop: kernel_drop(in->text); break;
    case InputKind::DisplayChange:
        if (in->answer) {
            io_post_close();
        } else {
            // Staying on: the window may show the frame at another size now.
            IoRect all = {0, 0, screen.width, screen.height};
            io_post_event(IO_PAINT, (intptr_t)&all, 0, 0);
        }
        break;
    default: io_translate_input(in); break;
    }
}

void io_pump(void)
{
    PlatformInput in;
    while (kernel_take_input(&in))
        kernel_dispatch_input(&in);
}

int64_t kernel_time(void)
{
    return kernel_now();
}

bool kernel_close_pending(void)
{
    return io_close_pending();
}

void kernel_wait_input(int64_t until)
{
    if (!kern.playback) {
        int64_t ms = until - kernel_now();
        if (ms > 0)
            io_platform_wait((int)(ms > 1000 ? 1000 : ms), io_instance_fd());
        return;
    }
    // Playback has no one to wait for: the clock jumps to the next input or to `until`.
    int64_t next_input;
    if (!io_journal_next_time(&next_input)) {
        if (!io_close_pending())
            io_log("playback: journal played out\n");
        io_post_close();
        return;
    }
    int64_t target = next_input < until ? next_input : until;
    io_clock_advance(target);
}

bool kernel_playback(void)
{
    return kern.playback;
}

// --- start-up and teardown ---

static void log_platform(void)
{
    // Linux reports its kernel release; 5 stands for Linux among the platform ids.
    utsname u;
    int major = 0, minor = 0;
    if (uname(&u) == 0)
        sscanf(u.release, "%d.%d", &major, &minor);
    io_log("PlatformId:%i, MajorVersion:%i, MinorVersion:%i\n", 5, major, minor);
}

// Copies a file of the installation out of the pack, as the settings layer reads it from
// disk; a missing entry or a failed copy means a broken installation.
static void kernel_extract(const char *entry, const char *target)
{
    int index = dp_get_index(entry, 0);
    if (index < 0 || !dp_extract(index, target))
        io_error("kernel_init: invalid copy of %s", target);
}

// In-game messages of the services go to the game's own message box.
static int kernel_message(const char *text, int buttons)
{
    return msg_box(text, buttons == IO_MB_YESNO ? MB_YES | MB_NO : MB_OK);
}

// The game's pointing cursor from the pack: only a small colour-and-alpha picture makes
// a cursor; anything else keeps the arrow.
static void load_game_cursor(const char *name, int hot_x, int hot_y)
{
    int index = dp_get_index(name, 0);
    if (index < 0)
        return;
    uint32_t size = dp_size(index);
    uint8_t *data = (uint8_t *)dp_load(index);
    const Img *img = (const Img *)data;
    if (img_check(data, size) && img->format == IMG_BGRA && img->width > 0 && img->width <= 64 && img->height > 0 &&
        img->height <= 64) {
        uint32_t argb[64 * 64];
        for (int y = 0; y < img->height; y++) {
            const uint8_t *c = data + img->colour_offset + y * img->colour_stride;
            const uint8_t *a = data + img->second_offset + y * img->second_stride;
            for (int x = 0; x < img->width; x++) {
                // The picture is premultiplied; the cursor wants straight colour.
                uint32_t al = a[x], un[3];
                for (int k = 0; k < 3; k++)
                    un[k] = al ? std::min<uint32_t>(255, (c[3 * x + k] * 255 + al / 2) / al) : 0;
                argb[y * img->width + x] = al << 24 | un[2] << 16 | un[1] << 8 | un[0];
            }
        }
        io_set_game_cursor(argb, img->width, img->height, hot_x, hot_y);
    }
    io_mem_free(data);
}

// -options: the options dialog runs in the game's window once everything is up, before
// the store room opens; events flow for it alone, as start-up has not yet returned. True
// for OK, whose choices then take effect at once.
static bool kernel_options_start(void)
{
    splash_close();
    io_platform_show();
    kernel_enable_events(true);
    set_active(true);
    bool ok = options_run() == 1;
    kernel_enable_events(false);
    if (ok)
        options_apply();
    return ok;
}

// A file dropped on the window: a gift is opened, a picture becomes a new box.
static void kernel_dropped(const char *path)
{
    if (gift_is_gift_name(path))
        gift_open(path);
    else
        createroom_drop(path);
}

void kernel_init(void)
{
    io_log("%s\n", kernel_config.title);
    io_log("Version: %i.%02i\n", KERNEL_VERSION / 100, KERNEL_VERSION % 100);
    io_log("force feedback: %s\n", settings_feedback_on() ? "on" : "off");
    fb_enable(settings_feedback_on());  // nothing unless the library was loaded at process start
    dp_open("data.pck");
    load_game_cursor("img/cursor.img", 10, 1);  // the hand's fingertip
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    settings_read_old_screen();

    kernel_set_puzzles_folder(kern.args.has_path ? kern.args.path : "puzzles");
    make_dir("sfiles");
    make_dir(kernel_puzzles_folder());
    make_dir(KERNEL_TEMP_FOLDER);
    make_dir("sfiles/qs");
    io_temp_trim(KERNEL_TEMP_FOLDER, "*.tmp", KERNEL_TEMP_BUDGET);

    kernel_extract("skin.ini", SETTINGS_SKIN);
    kernel_extract("english.ini", SETTINGS_LANG);
    kernel_extract("present.bin", GIFT_PRESENT);  // goes with every gift
    gift_trim_mail();
    // The help and the language file the options dialog offers live in sfiles/ml; they are
    // refreshed from the pack at every start, so an update reaches the player.
    make_dir("sfiles/ml");
    kernel_extract("ml/english.hlp", "sfiles/ml/english.hlp");
    kernel_extract("ml/english.ini", "sfiles/ml/english.ini");
    lt_init(SETTINGS_LANG);
    splash_open();

    io_mem_set_purge(cache_purge_one);  // short of memory, cached artwork goes first
    cache_set_preload(true);
    clip_init();
    img_set_blitter(img_draw);
    ge_init(SETTINGS_SKIN);
    shadow_init();
    toolkit_init();
    media_init();  // the audio device, opened once; without one music and sounds stay silent
    sound_init();
    fonts_init();
    toolkit_set_title_font(&font_small, skin_color(SKIN_COLOR_WINDOW_TITLE_TEXT),
                           skin_color(SKIN_COLOR_WINDOW_TITLE_TEXT_SHADOW));
    button_init(&font_medium, skin_color(SKIN_COLOR_BUTTON_TEXT_ACTIVE), skin_color(SKIN_COLOR_BUTTON_TEXT_INACTIVE),
                skin_color(SKIN_COLOR_BUTTON_TEXT_HOVER), skin_color(SKIN_COLOR_BUTTON_TEXT_SHADOW));
    trackbar_init(&font_small, skin_color(SKIN_COLOR_TRACKBAR_TEXT), skin_color(SKIN_COLOR_TRACKBAR_TEXT_SHADOW));
    io_dialog_set_colours(skin_color(SKIN_COLOR_EDIT_TEXT), skin_color(SKIN_COLOR_EDIT_BACKGROUND));
    mail_load();
    kernel_status(mail_available() ? "MAPI OK" : "MAPI NO");
    curves_init();
    // The shared dialogs: rooms ask their questions and show their notices in these.
    msgbox_init();
    io_set_message_hook(kernel_message);
    text_entry_init();
    background_init();
    progress_init();
    kernel_status("Initializing Store Room");
    shelf_set_status(kernel_status);  // each box's name shows while it loads
    storeroom_set_about(about_show);
    storeroom_create();
    kernel_status("Initializing Create Room");
    createroom_create();
    kernel_set_drop_handler(kernel_dropped);  // a picture makes a box, a gift brings boxes
    kernel_status("Initializing Gallery Room");
    galleryroom_create();
    kernel_status("Initializing Play Room");
    playroom_create();
    if (kern.args.options && !kernel_options_start()) {
        io_post_close();  // cancelled: the game ends before the store room opens
        return;
    }
    storeroom_enter();
    splash_close();
}

void kernel_done(void)
{
    io_set_message_hook(nullptr);
    toolkit_done();  // the windows close first: rooms save their placements
    fonts_done();
    lt_done();
    background_done();
    curves_done();
    settings_write_old_screen();
    for (const char *name : kernel_scratch_files)
        file_delete(name);
    midi_stop();
    sound_done();  // its hold in the image cache goes before the cache does
    media_done();
    mail_unload();
    shadow_done();
    ge_done();
    cache_done();
    io_mem_set_purge(nullptr);
    io_gdi_fonts_done();
    dp_close();
    clip_done();
    file_delete(SETTINGS_SKIN);
    file_delete(SETTINGS_LANG);
}

// The view goes away: teardown, the driver, the memory balance, the log.
static void view_destroy(void)
{
    io_log("main loop: %lld ticks, %lld frames\n", (long long)kern.ticks, (long long)kern.frames);
    if (kern.initialised)
        kernel_done();
    kern.initialised = false;
    io_events_enable(false);
    io_video_close();
    io_mem_done();
    io_debug_done();
}

static void close_window(void)
{
    if (kern.closed)
        return;
    kern.closed = true;
    if (!kern.playback)
        io_platform_minimize();
    view_destroy();
}

// The window's creation: log, memory counters, video driver, frame buffer, kernel_init.
static bool create_view(void)
{
    if (!io_debug_init(kernel_config.debug_mode))
        kernel_config.debug_mode = 0;
    log_platform();
    if (kern.door_note[0])
        io_log("%s", kern.door_note);
    io_mem_reset();
    // The mail library is looked up here.
    io_video_select_driver(kernel_config.video_driver);
    if (!io_video_driver()->check_depth((int)kernel_config.depth))
        return false;
    int w, h;
    io_platform_size(&w, &h);
    io_video_create(w, h, (int32_t)kernel_config.depth);
    io_set_cursor(IO_CURSOR_ARROW);
    kern.initialised = true;
    int64_t began = kernel_now();
    kernel_init();
    kernel_enable_events(true);
    io_log("kernel: start-up took %lld ms\n", (long long)(kernel_now() - began));
    return true;
}

// --- the main loop ---

void kernel_loop_turn(void)
{
    PlatformInput in;
    if (kernel_take_input(&in)) {
        kernel_dispatch_input(&in);
        return;
    }
    if (!kern.app_active) {
        // Inactive: no ticks or frames; a live game still looks at signals now and then.
        kernel_wait_input(kern.playback ? INT64_MAX : kernel_now() + KERNEL_INACTIVE_WAIT_MS);
        return;
    }
    IdleStep step = kernel_idle_step(&kern.clock, kernel_now(), kernel_config.tick_ms);
    if (step.tick) {
        kern.ticks++;
        io_post_event(IO_TIMER, step.game_time, 0, 0);
    }
    if (!step.frame)
        return;  // more ticks are owed: no frame until they are delivered
    io_post_event(IO_FRAME, 0, 0, 0);
    kern.frames++;
    int64_t next_tick = kernel_config.tick_ms ? kernel_next_tick_time(&kern.clock, kernel_config.tick_ms) : INT64_MAX;
    // Nothing changed on screen: sleep until the next tick or input instead of
    // spinning, so an idle game costs almost nothing. Playback always moves on.
    if (kern.playback || (paint_list.count == 0 && kernel_config.tick_ms))
        kernel_wait_input(next_tick);
}

static void main_loop(void)
{
    while (!io_close_pending())
        kernel_loop_turn();
    close_window();
}

// What every start shares; the process's own start adds the command line's choices.
static void default_config(void)
{
    kernel_config = {};
    kernel_config.title = KERNEL_TITLE;
    kernel_config.class_name = KERNEL_CLASS_NAME;
    kernel_config.input_mask = IO_MASK_DEFAULT;
    kernel_config.depth = 24;
    kernel_config.video_driver = IO_VIDEO_DRAWDIB;
    kernel_config.tick_ms = 33;
}

static void fill_config(void)
{
    default_config();
    if (fb_present())
        kernel_config.input_mask |= IO_MASK_FEEDBACK;
    if (kern.args.has_video_driver)
        kernel_config.video_driver = kern.args.video_driver;
    kernel_config.debug_mode = kern.args.has_debug ? kern.args.debug : 0;
}

void kernel_start_embedded(const VideoDriver *driver, int32_t width, int32_t height)
{
    default_config();
    io_video_set_driver(driver);
    io_video_create(width, height, (int32_t)kernel_config.depth);
    kernel_init();
    kernel_enable_events(true);
}

// A second start knocks at the running copy's door, brings it forward and leaves. Only
// a copy that answers counts as running: a door that cannot be opened for any other
// reason (a sandbox, no descriptors left, a name held by something that does not
// answer) leaves the game to run without one.
static bool forward_to_running_copy(void)
{
    int door = io_instance_listen(kernel_config.class_name);
    if (door == IO_DOOR_OPEN)
        return false;
    if (door == IO_DOOR_TAKEN && io_instance_answers(kernel_config.class_name)) {
        if (kern.args.options)
            io_message("You must close %s before running Options. Or, run Options directly from the game, "
                       "click on the Options button in the Tools panel.",
                       kernel_config.title);
        // A gift given to this start is opened by the running copy.
        if (kern.gift[0] && !io_instance_send_text(kernel_config.class_name, KERNEL_TEXT_GIFT, kern.gift))
            fprintf(stderr, "pelmora: the running game did not take the gift %s\n", kern.gift);
        if (io_instance_forward(kernel_config.class_name))
            return true;
    }
    snprintf(kern.door_note, sizeof kern.door_note, "kernel: runs without a door (%s)\n",
             door == IO_DOOR_TAKEN ? "the name is held by a copy that does not answer" : io_instance_error());
    return false;
}

int kernel_main(int argc, char **argv)
{
    kern = {};
    io_mem_init();
    if (!getcwd(kern.cwd, sizeof kern.cwd))
        kern.cwd[0] = 0;
    kernel_join_args(argc, argv, kern.cmdline, sizeof kern.cmdline);
    kernel_parse_args(kern.cmdline, &kern.args);
    kernel_gift_arg(argc, argv, kern.gift, (int)sizeof kern.gift);
    fill_config();
    kern.playback = kern.args.playback[0] != 0;

    if (kern.playback) {
        // A replayed session stands alone: it neither knocks nor opens the door.
        char error[512];
        if (!io_journal_load(kern.args.playback, error, sizeof error)) {
            fprintf(stderr, "pelmora: %s\n", error);
            return 1;
        }
    } else if (forward_to_running_copy()) {
        return 0;
    }
    if (kernel_config.input_mask & IO_MASK_FEEDBACK)
        fb_load();

    install_signal_handlers();
    // The kernel clock starts before the window and start-up, so the activation that
    // follows start-up and the main loop read one and the same clock, however long
    // start-up took.
    io_clock_start(kern.playback);
    if (!io_platform_init(kernel_config.title, kern.args.screen_width, kern.args.screen_height, kern.playback)) {
        // Without a window there is no game; say so rather than end silently.
        fprintf(stderr, "pelmora: cannot open the game's window: %s\n", io_platform_error());
        fb_unload();
        io_instance_close();
        return 1;
    }
    if (kern.args.record[0] && !io_journal_record_open(kern.args.record)) {
        fprintf(stderr, "pelmora: cannot write the journal %s\n", kern.args.record);
        fb_unload();
        io_platform_done();
        io_instance_close();
        return 1;
    }
    if (create_view()) {
        io_platform_show();
        PlatformInput activate = {};
        activate.kind = InputKind::Activate;
        kernel_dispatch_input(&activate);  // the window comes up as the active application
        // A gift named on the command line opens over the store room once that shows.
        if (kern.gift[0])
            io_post_event(IO_TEXT, KERNEL_TEXT_GIFT, (intptr_t)kern.gift, 0);
        main_loop();
    } else {
        view_destroy();
    }
    io_journal_done();
    fb_unload();
    io_platform_done();
    io_instance_close();
    return 0;
}
