// Where every piece lies in the two 256 x 256 skin pictures. The data generator paints
// into exactly these rectangles and the drawing code reads them from here.
#include "ui/skin.h"

// Five columns 12 wide; rows 12, 6, 4, 6 and 12 high from y = 18. The 6-high rows are
// the corners and edges of a side that is open at the top or bottom.
const SkinRect skin_frame_rects[25] = {
    {0, 18, 12, 12}, {12, 18, 12, 12}, {24, 18, 12, 12}, {36, 18, 12, 12}, {48, 18, 12, 12},
    {0, 30, 12, 6},  {12, 30, 12, 6},  {24, 30, 12, 6},  {36, 30, 12, 6},  {48, 30, 12, 6},
    {0, 36, 12, 4},  {12, 36, 12, 4},  {24, 36, 12, 4},  {36, 36, 12, 4},  {48, 36, 12, 4},
    {0, 40, 12, 6},  {12, 40, 12, 6},  {24, 40, 12, 6},  {36, 40, 12, 6},  {48, 40, 12, 6},
    {0, 46, 12, 12}, {12, 46, 12, 12}, {24, 46, 12, 12}, {36, 46, 12, 12}, {48, 46, 12, 12},
};

const SkinRect skin_title_rects[10] = {
    {0, 0, 12, 18},   // 0 left cap
    {12, 0, 12, 18},  // 1 active plate start
    {24, 0, 12, 18},  // 2 active plate, tiled
    {36, 0, 12, 18},  // 3 active plate end
    {48, 0, 12, 18},  // 4 right cap
    {0, 58, 6, 18},   // 5 bar between the collapse box and the right cap
    {12, 58, 12, 18}, // 6 inactive plate start
    {24, 58, 12, 18}, // 7 inactive plate, tiled
    {36, 58, 12, 18}, // 8 inactive plate end
    {48, 58, 12, 18}, // 9 bar before the title-bar boxes
};

// Plain icon at an even number, its lit form at the next odd one. 31 to 34 and 49 on
// are free. The room icons sit right of and below the toolkit's own.
const SkinRect skin_icon_rects[SKIN_ICON_COUNT] = {
    {60, 0, 18, 18},    // 0 radio button off
    {60, 18, 18, 18},   // 1 radio button on
    {78, 0, 18, 18},    // 2 check box off
    {78, 18, 18, 18},   // 3 check box on
    {60, 58, 18, 18},   // 4 zoom 0
    {60, 76, 18, 18},   // 5
    {78, 58, 18, 18},   // 6 zoom 1
    {78, 76, 18, 18},   // 7
    {96, 58, 18, 18},   // 8 zoom 2
    {96, 76, 18, 18},   // 9
    {114, 58, 18, 18},  // 10 zoom 3
    {114, 76, 18, 18},  // 11
    {132, 58, 18, 18},  // 12 zoom 4
    {132, 76, 18, 18},  // 13
    {150, 58, 18, 18},  // 14 small help box
    {150, 76, 18, 18},  // 15
    {168, 58, 18, 18},  // 16 small information box
    {168, 76, 18, 18},  // 17
    {96, 0, 18, 18},    // 18 expand
    {96, 18, 18, 18},   // 19
    {114, 0, 18, 18},   // 20 collapse
    {114, 18, 18, 18},  // 21
    {132, 0, 18, 18},   // 22 close, ends the title bar
    {132, 18, 18, 18},  // 23
    {0, 112, 24, 24},   // 24 trackbar left arrow
    {0, 136, 24, 24},   // 25
    {84, 112, 24, 24},  // 26 trackbar right arrow
    {84, 136, 24, 24},  // 27
    {114, 112, 18, 24}, // 28 trackbar thumb
    {114, 136, 18, 24}, // 29
    {0, 76, 6, 18},     // 30 progress block
    {0, 0, 0, 0},       // 31
    {0, 0, 0, 0},       // 32
    {0, 0, 0, 0},       // 33
    {0, 0, 0, 0},       // 34
    {150, 0, 18, 18},   // 35 piece count
    {168, 0, 18, 18},   // 36 piece count, pieces turned
    {186, 0, 30, 30},   // 37 finished mark, centred on a preview's corner
    {216, 0, 30, 30},   // 38 in-progress mark
    {96, 160, 64, 64},  // 39 wrapped present
    {150, 18, 25, 25},  // 40 cross-hair, odd so that it centres on a pixel
    {186, 30, 30, 20},  // 41 help
    {216, 30, 30, 20},  // 42
    {186, 50, 30, 20},  // 43 cancel
    {216, 50, 30, 20},  // 44
    {186, 70, 30, 20},  // 45 OK
    {216, 70, 30, 20},  // 46
    {0, 160, 96, 40},   // 47 corner logo
    {0, 200, 96, 40},   // 48 corner logo lit
};

const SkinRect skin_track_rects[3] = {
    {24, 112, 12, 24},  // left end
    {36, 112, 12, 24},  // middle, tiled
    {60, 112, 12, 24},  // right end
};

// Textures tiled over areas; unused numbers are empty. The progress block is the same
// 6 x 18 picture as icon 30.
const SkinRect skin_panel_rects[SKIN_PANEL_COUNT] = {
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {188, 112, 32, 32},   // 9 dialog panel
    {0, 0, 0, 0},
    {132, 112, 32, 24},   // 11 bar
    {0, 0, 0, 0},
    {164, 112, 24, 24},   // 13 bar start
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {220, 112, 32, 32},   // 25 message panel
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 76, 6, 18},       // 30 progress block
    {0, 0, 0, 0},
};

const char *const skin_color_keys[SKIN_COLOR_COUNT] = {
    "Bevel_LT", "Bevel_T", "Bevel_RT", "Bevel_L", "Bevel_R", "Bevel_LB", "Bevel_B", "Bevel_RB",
    "ButtonTextActive", "ButtonTextInactive", "ButtonTextHover", "ButtonTextShadow",
    "TrackbarText", "TrackbarTextShadow", "WindowTitleText", "WindowTitleTextShadow",
    "EditBoxText", "EditBoxBackground", "MsgBoxText", "MsgBoxTextShadow",
    "PreviewOutlineActive", "PreviewOutlineInactive", "PreviewNumberOfPiecesText",
    "PreviewNumberOfPiecesTextShadow", "PreviewBottomText", "PreviewBottomTextShadow",
    "PreviewSurprise", "RoomTitleBar", "RoomTitleBarText", "RoomTitleBarTextShadow",
    "Selection", "CreateDesk", "CreateDeskOutline", "CreateDeskPresentSize",
    "CreateCurvePreview", "GalleryOutline",
};
