#include "tests/curve_files.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>

namespace {

struct IntPoint {
    int32_t x, y;
};

// Each row is a Bezier chain of 1 + 3k points; a positive y bulges to the right of travel.
const std::initializer_list<IntPoint> test_curves[8] = {
    // 0: straight, the border edge
    {{0, 0}, {333, 0}, {667, 0}, {1000, 0}},
    // 1: classic knob, narrow neck and round head
    {{0, 0}, {300, 0}, {420, 20}, {400, 80}, {370, 160}, {380, 240}, {500, 240},
     {620, 240}, {630, 160}, {600, 80}, {580, 20}, {700, 0}, {1000, 0}},
    // 2: one low bump
    {{0, 0}, {300, 250}, {700, 250}, {1000, 0}},
    // 3: wide shallow knob
    {{0, 0}, {250, 0}, {380, 30}, {350, 90}, {300, 180}, {350, 200}, {500, 200},
     {650, 200}, {700, 180}, {650, 90}, {620, 30}, {750, 0}, {1000, 0}},
    // 4: flat-topped tent of two segments
    {{0, 0}, {200, 0}, {400, 150}, {500, 150}, {600, 150}, {800, 0}, {1000, 0}},
    // 5: knob bulging the other way, off-centre neck
    {{0, 0}, {350, 0}, {450, -30}, {420, -100}, {390, -170}, {420, -230}, {500, -230},
     {580, -230}, {610, -170}, {580, -100}, {550, -30}, {650, 0}, {1000, 0}},
    // 6: trapezoid of straight pieces
    {{0, 0}, {100, 0}, {200, 0}, {300, 0}, {333, 67}, {367, 133}, {400, 200},
     {467, 200}, {533, 200}, {600, 200}, {633, 133}, {667, 67}, {700, 0},
     {800, 0}, {900, 0}, {1000, 0}},
    // 7: wave, up at the ends and down in the middle
    {{0, 0}, {150, 200}, {350, -100}, {500, -100}, {650, -100}, {850, 200}, {1000, 0}},
};

void put_le32(std::ofstream &f, int32_t v)
{
    const uint32_t u = (uint32_t)v;
    const char b[4] = {(char)u, (char)(u >> 8), (char)(u >> 16), (char)(u >> 24)};
    f.write(b, 4);
}

}  // namespace

void write_test_curves(const std::string &folder)
{
    std::filesystem::create_directories(folder + "/curves");
    for (int i = 0; i < 8; i++) {
        std::ofstream f(folder + "/curves/c_" + std::to_string(i) + ".crv", std::ios::binary);
        for (const IntPoint &p : test_curves[i]) {
            put_le32(f, p.x);
            put_le32(f, p.y);
        }
    }
}
