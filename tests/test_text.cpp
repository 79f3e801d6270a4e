// Text layout and drawing with a bitmap font, and the built font sheets against their
// glyph tables.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "image/imgfile.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "res/datapack.h"
#include "res/lang.h"
#include "tests/support.h"
#include "ui/text.h"

// A font whose characters 32..126 are 9-pixel solid blocks with 1 pixel of spacing, so
// every character advances exactly 10 pixels; the space's block is empty.
static Glyph block_glyphs[95];

class Text : public ::testing::Test {
protected:
    TempDir dir;
    Font font = {};
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        std::string sheet(36 + 950 * 8, (char)255);
        const uint32_t header[9] = {IMG_MAGIC, 950, 8, IMG_8BIT, 36, 950, 0, 0, 0};
        memcpy(&sheet[0], header, 36);
        for (int y = 0; y < 8; y++)
            memset(&sheet[36 + y * 950], 0, 10);
        write_file(dir.file("sheet.img"), sheet);
        for (int i = 0; i < 95; i++)
            block_glyphs[i] = {(uint16_t)(i * 10), 0, 9};
        dp_open((dir.path + "@").c_str());
        font = {FONT_BITMAP, 8, 8, 10, 1, cache_get("sheet.img"), 1, 32, 126, block_glyphs, nullptr};

        io_video_set_driver(&test_video_driver);
        io_video_create(200, 100, 24);
        clip_init();
        io_video_begin_paint();
        text_set_font(&font, 0xFFFFFF, TEXT_NONE);
    }
    void TearDown() override
    {
        io_video_end_paint();
        clip_done();
        io_video_close();
        cache_done();
        dp_close();
    }
    // Channel k (0 blue, 1 green, 2 red) of a screen pixel.
    static uint8_t px(int x, int y, int k = 0) { return screen.buf[(ptrdiff_t)y * screen.pitch + x * 3 + k]; }
    // The leftmost inked column of row y, -1 when none.
    static int first_ink(int y)
    {
        for (int x = 0; x < screen.width; x++)
            if (px(x, y))
                return x;
        return -1;
    }
    // The lines the walker gives as (count, width) pairs.
    static std::vector<std::pair<int, int>> lines(const char *s)
    {
        std::vector<std::pair<int, int>> out;
        TextLine line;
        text_walk_start(s);
        while (text_walk_next(&line))
            out.push_back({line.count, line.width});
        return out;
    }
};

TEST_F(Text, LinesWithoutWrapAndTheShadowPass)
{
    EXPECT_EQ(text_draw("ab\ncd", 10, 10), 20) << "two lines of line height 10";
    // Full white coverage on both lines, one line height apart; nothing below the cells,
    // in the spacing after a glyph, or past two characters' 20 pixels.
    EXPECT_EQ(std::tuple(px(10, 10), px(10, 20), px(10, 18), px(19, 10), px(30, 10)), std::tuple(254, 254, 0, 0, 0));

    int32_t w, h;
    text_measure("ab\ncd\n", &w, &h);
    EXPECT_EQ(std::tuple(w, h), std::tuple(20, 20)) << "a newline at the end opens no line";
    EXPECT_EQ(lines("a\x7f" "b\n\nc"), (std::vector<std::pair<int, int>>{{3, 20}, {0, 0}, {1, 10}}))
        << "a character without a glyph counts but adds nothing";

    text_set_font(&font, 0xFF0000, 0x0000FF);
    EXPECT_EQ(text_draw("ab\ncd", 100, 50), 21) << "the shadow offset is added";
    EXPECT_EQ(std::tuple(px(109, 51, 0), px(109, 51, 2)), std::tuple(254, 0)) << "the shadow one pixel right and down";
    EXPECT_EQ(px(101, 51, 2), 254) << "the text is drawn over the shadow";
    EXPECT_EQ(px(100, 50, 0), 0);
    text_measure("ab\ncd", &w, &h);
    EXPECT_EQ(std::tuple(w, h), std::tuple(21, 21));
    text_set_font(&font, TEXT_NONE, 0x000000);
    EXPECT_EQ(text_draw("ab", 0, 0), 1) << "no text pass: only the shadow offset";
    EXPECT_EQ(text_draw("", 0, 0), 0);
    EXPECT_EQ(text_draw(nullptr, 0, 0), 0);
}

TEST_F(Text, WrappingWordByWord)
{
    text_set_layout(0, 35);
    EXPECT_EQ(lines("hi abcdefgh yo"), (std::vector<std::pair<int, int>>{{3, 30}, {9, 90}, {2, 20}}))
        << "the long word has a line of its own, its space included";
    EXPECT_EQ(text_draw("hi abcdefgh yo", 0, 0), 30);
    EXPECT_EQ(px(75, 10), 254) << "the long word overhangs the wrap width";
    EXPECT_EQ(lines("ab\ncd ef"), (std::vector<std::pair<int, int>>{{2, 20}, {3, 30}, {2, 20}}));
    // A word that brings the line exactly to the wrap width still fits; one pixel more not.
    text_set_layout(0, 50);
    EXPECT_EQ(lines("ab cd"), (std::vector<std::pair<int, int>>{{5, 50}})) << "exactly as wide as the wrap width";
    EXPECT_EQ(lines("ab cde"), (std::vector<std::pair<int, int>>{{3, 30}, {3, 30}}));
    text_set_layout(0, 49);
    EXPECT_EQ(lines("ab cd"), (std::vector<std::pair<int, int>>{{3, 30}, {2, 20}}));
}

TEST_F(Text, OnlyBitmapFontsAreWalked)
{
    // A system font's lines would all measure 0 and never wrap; asking is a slip.
    Font system = {};
    system.kind = FONT_SYSTEM;
    text_set_font(&system, 0xFFFFFF, TEXT_NONE);
    text_set_layout(0, 50);
    text_walk_start("ab cd ef");
    TextLine line;
    EXPECT_EXIT(text_walk_next(&line), ::testing::ExitedWithCode(1), "text_walk_next: not a bitmap font");
    text_set_font(&font, 0xFFFFFF, TEXT_NONE);
}

TEST_F(Text, AlignmentWithinTheWrapWidth)
{
    // Centred: 40 pixels in 100 start 30 right; right-aligned: ends at the wrap width;
    // without a wrap width the alignment is left.
    for (auto [align, wrap, y, ink] : {std::tuple(1, 100, 0, 50), {2, 100, 40, 80}, {2, 0, 80, 20}}) {
        text_set_layout(align, wrap);
        text_draw("abcd", 20, y);
        EXPECT_EQ(first_ink(y), ink) << "align " << align << ", wrap " << wrap;
    }
}

TEST(FontSheets, GlyphTablesMatchTheBuiltSheets)
{
    const std::tuple<int, int, int, int> metrics[3] = {{14, 11, 14, 0}, {18, 15, 18, 1}, {24, 19, 24, 1}};
    dp_open(PELMORA_DATA_PCK);
    for (int f = 0; f < 3; f++) {
        const BitmapFontInfo &info = lt_bitmap_fonts[f];
        SCOPED_TRACE(info.sheet);
        EXPECT_EQ(std::tuple(info.height, info.size, info.line, info.spacing), metrics[f]);
        int index = dp_get_index(info.sheet, 1);
        Img *img = (Img *)dp_load(index);
        ASSERT_EQ(img_check(img, dp_size(index)), 1);
        ASSERT_EQ(std::tuple(img->width, img->height, img->format), std::tuple(info.sheet_width, 3 * info.height, (uint32_t)IMG_8BIT));
        const uint8_t *sheet = (const uint8_t *)img + img->colour_offset;

        std::vector<int> owner((size_t)img->width * img->height, -1);
        for (int c = 32; c < 128; c++) {
            const Glyph &g = info.glyphs[c - 32];
            ASSERT_EQ(g.y, (c - 32) / 32 * info.height) << "character " << c << " lies in its row";
            ASSERT_LE(g.x + g.width, img->width) << "character " << c;
            int ink = 0;
            for (int y = g.y; y < g.y + info.height; y++)
                for (int x = g.x; x < g.x + g.width; x++) {
                    int &o = owner[(size_t)y * img->width + x];
                    ASSERT_EQ(o, -1) << "characters " << o << " and " << c << " overlap";
                    o = c;
                    ink += sheet[(size_t)y * img->width + x];
                }
            EXPECT_TRUE(c == 32 || ink > 0) << "character " << c << " has a picture";
        }
        int stray = 0;
        for (size_t i = 0; i < owner.size(); i++)
            stray += owner[i] < 0 && sheet[i] != 0;
        EXPECT_EQ(stray, 0) << "pixels inked outside every box";
        io_mem_free(img);
    }
    dp_close();
}
