// Trackbars in a started game: where the thumb sits for a value, dragging it past the
// end, clicks on the track and the arrows, what the parent hears, and the look.
#include "tests/reference_image.h"
#include "tests/toolkit_env.h"
#include "ui/text.h"
#include "ui/trackbar.h"

namespace {

// A plain floor under the trackbar, whatever the desktop's artwork.
int32_t floor_handler(int32_t, IoEvent *event)
{
    if (event->code == IO_FRAME) {
        draw_set_fill(0x305060);
        draw_fill_rect(0, 0, (int32_t)event->a, (int32_t)event->b);
    }
    return 0;
}

// The trackbar's parent: counts TW_TRACK and keeps the last value.
struct Tracks {
    int32_t count = 0, last = -1, from = -1;
};

int32_t tracks_handler(int32_t window, IoEvent *event)
{
    if (event->code != TW_TRACK)
        return 0;
    Tracks *t = (Tracks *)window_data(window);
    t->count++;
    t->from = (int32_t)event->a;
    t->last = (int32_t)event->b;
    return 1;
}

class Trackbar : public ToolkitTest {
protected:
    Tracks tracks;
    int32_t panel = -1;
    static constexpr int32_t X = 100, Y = 200;  // the trackbar on the screen
    void SetUp() override
    {
        ToolkitTest::SetUp();
        int32_t root = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, floor_handler, nullptr);
        window_focus(root);
        panel = window_register(root, TWS_CHILD, X - 20, Y - 20, 400, 100, tracks_handler, &tracks);
    }
    int32_t make(uint32_t style, int32_t width) { return trackbar_create(panel, style, 20, 20, width, 0); }
};

TEST_F(Trackbar, TheThumbStandsWhereTheValueSays)
{
    int32_t t = make(TBS_NOTIFY, 300);
    trackbar_set_value(t, 5);
    EXPECT_EQ(trackbar_thumb(t), 150) << "44 + trunc(21.2 * 5)";
    trackbar_set_value(t, 99);
    EXPECT_EQ(std::tuple(trackbar_value(t), trackbar_thumb(t)), std::tuple(10, 300 - 44)) << "clamped to the range";
    trackbar_set_range(t, 20, 45);
    int32_t lo, hi;
    trackbar_range(t, &lo, &hi);
    EXPECT_EQ(std::tuple(lo, hi, trackbar_value(t), trackbar_page(t)), std::tuple(20, 45, 20, 2))
        << "the value is kept within a new range; the page is a tenth of it";
    trackbar_set_range(t, 0, 5);
    EXPECT_EQ(trackbar_page(t), 1) << "never below 1";
    EXPECT_EQ(tracks.count, 0) << "setting from the program tells nobody";
}

TEST_F(Trackbar, DraggingPastTheEndGivesTheMaximumAndTellsEveryMove)
{
    int32_t t = make(TBS_NOTIFY, 300);
    trackbar_set_value(t, 5);
    press(X + 150, Y + 16);
    EXPECT_EQ(window_drag_mode(), 2) << "the thumb is taken";
    move(X + 200, Y + 16, 1);
    EXPECT_EQ(std::tuple(tracks.count, tracks.from, tracks.last), std::tuple(1, t, 7));
    move(X + 400, Y + 16, 1);
    move(X + 500, Y + 40, 1);
    EXPECT_EQ(std::tuple(trackbar_value(t), trackbar_thumb(t)), std::tuple(10, 300 - 44));
    EXPECT_EQ(std::tuple(tracks.count, tracks.last), std::tuple(3, 10)) << "every move is told";
    release(X + 500, Y + 40);
    EXPECT_EQ(window_drag_mode(), 0) << "the release ends the drag";
    move(X + 100, Y + 16);
    EXPECT_EQ(trackbar_value(t), 10);
}

TEST_F(Trackbar, ClicksOnTheTrackPageAndTheArrowsStepByOne)
{
    int32_t t = make(TBS_NOTIFY, 300);
    trackbar_set_range(t, 0, 100);
    trackbar_set_value(t, 50);
    int32_t thumb = trackbar_thumb(t);
    click(X + thumb + 40, Y + 16);
    EXPECT_EQ(std::tuple(trackbar_value(t), tracks.last), std::tuple(60, 60)) << "right of the thumb: one page on";
    click(X + trackbar_thumb(t) - 30, Y + 16);
    EXPECT_EQ(trackbar_value(t), 50) << "left of it: one page back";
    click(X + 300 - 16, Y + 16);
    EXPECT_EQ(trackbar_value(t), 51) << "the right arrow";
    click(X + 16, Y + 16);
    click(X + 16, Y + 16);
    EXPECT_EQ(trackbar_value(t), 49) << "the left arrow";
    int32_t told = tracks.count;
    click(X + thumb + 40, Y + 4);
    click(X + 38, Y + 16);
    click(X + thumb + 40, Y + 16, 2);
    EXPECT_EQ(std::tuple(trackbar_value(t), tracks.count), std::tuple(49, told))
        << "above the track, left of its start, or with the right button: nothing";
    trackbar_set_value(t, 100);
    click(X + 300 - 16, Y + 16);
    EXPECT_EQ(tracks.count, told) << "a step that changes nothing tells nobody";

    int32_t quiet = make(0, 300);
    window_move(quiet, 20, 60);
    click(X + 300 - 16, Y + 40 + 16);
    EXPECT_EQ(std::tuple(trackbar_value(quiet), tracks.count), std::tuple(1, told)) << "without bit 0 it is silent";
}

TEST_F(Trackbar, LooksAsItsReference)
{
    int32_t t = make(TBS_NOTIFY | TBS_FRAME, 300);
    window_set_title(t, "Pieces");
    trackbar_set_value(t, 7);
    repaint_all();
    EXPECT_TRUE(frame_matches_reference("trackbar", X, Y, 300, 32));
}

}  // namespace
