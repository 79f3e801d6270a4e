// System-font text measured and drawn into the frame buffer, and the splash window drawn
// over the intro picture, with the DejaVu faces in a loose test pack.
#include <algorithm>

#include "image/jpeg.h"
#include <SDL2/SDL.h>

#include "platform/gdi.h"
#include "res/gdi_text.h"
#include "platform/instance.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "kernel/splash.h"
#include "res/datapack.h"
#include "res/lang.h"
#include "tests/support.h"

class SystemText : public ::testing::Test {
protected:
    TempDir dir;
    int32_t held = 0;
    void SetUp() override
    {
        std::filesystem::create_directories(dir.file("pack/fonts"));
        std::filesystem::create_directories(dir.file("pack/img"));
        for (const char *f : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSerif.ttf"})
            std::filesystem::copy_file(std::string("/usr/share/fonts/truetype/dejavu/") + f, dir.file("pack/fonts/") + f);
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        held = blocks_held();
        io_video_set_driver(&test_video_driver);
        io_video_create(640, 480, 24);
        dp_open((dir.file("pack") + "@").c_str());
    }
    void TearDown() override
    {
        if (screen.buf)
            io_video_end_paint();
        io_gdi_fonts_done();
        dp_close();
        io_video_close();
        EXPECT_EQ(blocks_held(), held) << "fonts, glyphs and faces all given back";
    }
    static Font font(int32_t height, int32_t style, const char *face = nullptr)
    {
        Font f = {};
        f.kind = FONT_SYSTEM;
        f.handle = io_gdi_create_font(height, style, 0, face);
        io_gdi_font_metrics(f.handle, &f.height, &f.size, &f.line);
        return f;
    }
    // A pixel outside a frame: the buffer's rows are stored bottom-up.
    static const uint8_t *pixel(int32_t x, int32_t y)
    {
        return io_video_pixels() + (size_t)(screen.height - 1 - y) * io_video_row_size(screen.width, 24) + x * 3;
    }
    // The box holding every pixel that is not `bg` in the open frame: {x0, y0, x1, y1}, x0 > x1 when none.
    static std::tuple<int, int, int, int> ink_box(uint8_t bg)
    {
        int x0 = screen.width, y0 = screen.height, x1 = -1, y1 = -1;
        for (int y = 0; y < screen.height; y++)
            for (int x = 0; x < screen.width; x++)
                if (screen.buf[y * screen.pitch + x * 3] != bg || screen.buf[y * screen.pitch + x * 3 + 2] != bg)
                    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        return {x0, y0, x1, y1};
    }
    // A plain grey 500 x 350 intro picture in the pack.
    void write_intro()
    {
        Picture *p = picture_create(500, 350, IMG_BGR);
        memset(p->colour, 200, (size_t)p->colour_stride * 350);
        FILE *f = fopen(dir.file("pack/img/intro.jpg").c_str(), "wb");
        ASSERT_EQ(jpeg_write(f, p, 95), 0);
        fclose(f);
        picture_free(p);
    }
    static void clear(uint8_t v)
    {
        for (int y = 0; y < screen.height; y++)
            memset(screen.buf + y * screen.pitch, v, (size_t)screen.width * 3);
    }
};

TEST_F(SystemText, MetricsAndMeasuring)
{
    Font sans = font(-11, IO_FONT_SWISS, "Arial");
    EXPECT_EQ(sans.size, 11) << "a negative height is the character height";
    EXPECT_TRUE(sans.height >= 12 && sans.height <= 15 && sans.line >= sans.height) << sans.height << " " << sans.line;
    Font cell = font(20, IO_FONT_ROMAN);
    EXPECT_TRUE(cell.height >= 19 && cell.height <= 21 && cell.size < 20) << "a positive height is the cell";

    int32_t w1, h1, w2, h2, w0, h0;
    io_gdi_text_size(&sans, "Puzzle", 0, 0, &w1, &h1);
    io_gdi_text_size(&sans, "Puzzle\nPuzzle", 0, 0, &w2, &h2);
    io_gdi_text_size(&sans, "", 0, 0, &w0, &h0);
    EXPECT_EQ(std::tuple(w2, h1, h2, w0, h0), std::tuple(w1, sans.line, 2 * sans.line, 0, 0));

    // Wrapped at word boundaries: every line fits, and a word wider than the box stays whole.
    int32_t two, ww, wh;
    io_gdi_text_size(&sans, "one two", 0, 0, &two, nullptr);
    io_gdi_text_size(&sans, "one two one two", 0, two, &ww, &wh);
    EXPECT_EQ(std::tuple(ww <= two, wh), std::tuple(true, 2 * sans.line));
    io_gdi_text_size(&sans, "unbreakable words", 0, 5, &ww, &wh);
    EXPECT_EQ(wh, 2 * sans.line);
    EXPECT_GT(ww, 5) << "a long word overhangs the width";

    Font bold = font(-11, IO_FONT_SWISS | IO_FONT_BOLD);
    int32_t wb;
    io_gdi_text_size(&bold, "Puzzle", 0, 0, &wb, nullptr);
    EXPECT_GT(wb, w1) << "the bold face is wider";
    EXPECT_EXIT(font(-11, IO_FONT_SWISS | IO_FONT_ROMAN), ::testing::ExitedWithCode(1), "io_gdi_create_font: invalid font family");
    EXPECT_EXIT(font(-11, 0), ::testing::ExitedWithCode(1), "io_gdi_create_font: invalid font family");
}

TEST_F(SystemText, DrawsInsideItsMeasuredBoxOnly)
{
    Font sans = font(-13, IO_FONT_SWISS);
    Font line = font(-13, IO_FONT_SWISS | IO_FONT_UNDERLINE);
    io_video_begin_paint();
    const char *text = "Puzzle gQ\n\xc3\x89t\xe9";  // UTF-8 and code page 1252 both read
    int32_t w, h;
    io_gdi_text_size(&sans, text, 0, 0, &w, &h);
    clear(255);
    io_gdi_text(&sans, text, 100, 50, 0x000000, 0, 0);
    auto [x0, y0, x1, y1] = ink_box(255);
    EXPECT_TRUE(x0 >= 100 && y0 >= 50 && x1 < 100 + w && y1 < 50 + h && x1 > 100 + w / 2 && y1 > 50 + h / 2)
        << x0 << "," << y0 << " " << x1 << "," << y1 << " in 100,50 " << w << "x" << h;

    // Centred in a wrap width: the line starts half the spare width right of x.
    int32_t one;
    io_gdi_text_size(&sans, "Box", 1, 200, &one, nullptr);
    clear(255);
    io_gdi_text(&sans, "Box", 10, 10, 0x000000, 1, 200);
    auto [cx0, cy0, cx1, cy1] = ink_box(255);
    EXPECT_TRUE(cx0 >= 10 + (200 - one) / 2 && cx1 < 10 + (200 - one) / 2 + one) << cx0 << " " << cx1 << " " << one;

    // Underlined text adds a line under the letters; text near the edges is cut to the screen.
    clear(255);
    io_gdi_text(&line, "___", 10, 10, 0x0000FF, 0, 0);
    io_gdi_text(&sans, "edge", 630, 470, 0x000000, 0, 0);
    io_gdi_text(&sans, "edge", -10, -5, 0x000000, 0, 0);
    EXPECT_EQ(screen.buf[11 * screen.pitch + 11 * 3 + 2], 255) << "colour 0x0000FF: blue only";
    auto [ux0, uy0, ux1, uy1] = ink_box(255);
    EXPECT_TRUE(ux0 == 0 && uy0 == 0 && ux1 == 639 && uy1 == 479);
}

TEST_F(SystemText, SplashOverTheIntroPicture)
{
    splash_open();
    EXPECT_FALSE(splash_is_open()) << "no intro picture, no splash";
    write_file(dir.file("pack/img/intro.jpg"), "\xFF\xD8\xFF\xE0 not really a picture");
    splash_open();
    EXPECT_FALSE(splash_is_open()) << "a picture that cannot be decoded";

    write_intro();
    io_set_cursor(IO_CURSOR_ARROW);
    splash_open();
    ASSERT_TRUE(splash_is_open());
    EXPECT_EQ(io_get_cursor(), IO_CURSOR_WAIT);
    const int x = (640 - 506) / 2, y = (480 - 356) / 2;  // centred, a 3-pixel frame around the picture
    EXPECT_EQ(std::tuple(pixel(x, y)[0], pixel(x + 1, y + 1)[1], pixel(x + 2, y + 355)[2], pixel(x + 505, y + 100)[0]),
              std::tuple(0, 255, 0, 0));
    EXPECT_NEAR(pixel(x + 3, y + 3)[1], 200, 4);
    EXPECT_EQ(pixel(x - 1, y)[0], 0) << "the screen around it untouched";

    auto strip_dark = [&] {
        int dark = 0;
        for (int yy = y + 307; yy < y + 322; yy++)
            for (int xx = x + 3; xx < x + 503; xx++)
                dark += pixel(xx, yy)[1] < 100;
        return dark;
    };
    splash_status("Initializing Store Room");
    int with_text = strip_dark();
    splash_status("");
    EXPECT_TRUE(with_text > 50 && strip_dark() == 0) << with_text << " dark pixels, then the old text is gone";
    splash_close();
    EXPECT_EQ(std::tuple(splash_is_open(), io_get_cursor()), std::tuple(false, (int)IO_CURSOR_ARROW));
}

TEST_F(SystemText, AboutWindowFollowsClicksAndKeys)
{
    write_intro();
    write_file(dir.file("lang.ini"), "[MAIN]\nVersion=1\nCharSet=0\n[TEXTS]\n19=Credits\n");
    lt_init(dir.file("lang.ini").c_str());
    ASSERT_EQ(io_platform_init("test", 640, 480, true), 1);
    PlatformInput drained;
    while (io_platform_poll(&drained)) {
    }
    const int x = (640 - 506) / 2, y = (480 - 356) / 2;
    auto push = [](Uint32 type, int px, int py, int button, SDL_Keycode key = 0) {
        SDL_Event e = {};
        e.type = type;
        e.button.x = px, e.button.y = py, e.button.button = (Uint8)button;
        if (key)
            e.key.keysym.sym = key;
        SDL_PushEvent(&e);
    };
    io_set_cursor(IO_CURSOR_ARROW);
    push(SDL_MOUSEBUTTONDOWN, x + 13, y + 309, SDL_BUTTON_LEFT);  // the link: credits
    push(SDL_KEYDOWN, 0, 0, 0, SDLK_a);                           // not OK or Cancel: the credits stay
    push(SDL_MOUSEBUTTONDOWN, 5, 5, SDL_BUTTON_LEFT);             // closes the credits
    push(SDL_MOUSEMOTION, x + 10, y + 10, 0);
    push(SDL_KEYDOWN, 0, 0, 0, SDLK_a);                           // closes the about window
    push(SDL_MOUSEBUTTONDOWN, x + 100, y + 100, SDL_BUTTON_LEFT); // left for the game
    presents_with_rects = 0;
    about_show();
    EXPECT_EQ(std::tuple(presents_with_rects, splash_is_open(), io_get_cursor()), std::tuple(3, false, (int)IO_CURSOR_ARROW))
        << "about, credits, about again";
    PlatformInput left;
    EXPECT_TRUE(io_platform_poll(&left) && left.kind == InputKind::MouseDown) << "input after the closing key stays queued";

    push(SDL_MOUSEBUTTONDOWN, x + 200, y + 200, SDL_BUTTON_RIGHT);
    push(SDL_MOUSEBUTTONDOWN, x + 13, y + 309, SDL_BUTTON_LEFT);
    presents_with_rects = 0;
    about_show();
    EXPECT_TRUE(presents_with_rects == 1 && io_platform_poll(&left)) << "a right click closes it";

    // While the window is up the game's door is still answered: a second start knocking
    // meanwhile is heard through the same input path as everything else.
    {
        InDir in(dir.path);
        setenv("PELMORA_SOCKET_TAG", unique_socket_tag().c_str(), 1);
        ASSERT_EQ(io_debug_init(1), 1);
        ASSERT_EQ(io_instance_listen("PelmoraAboutDoor"), IO_DOOR_OPEN);
        push(SDL_MOUSEMOTION, x + 10, y + 10, 0);
        EXPECT_EQ(io_instance_forward("PelmoraAboutDoor"), 1);
        about_show();
        io_instance_close();
        io_debug_done();
        unsetenv("PELMORA_SOCKET_TAG");
    }
    EXPECT_NE(read_file(dir.file("application.log")).find("another start asked for the game"), std::string::npos)
        << read_file(dir.file("application.log"));
    io_platform_done();
    lt_done();
}
