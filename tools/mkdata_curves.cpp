// The edge curves: read from the control points of data/curves.txt, checked, and written
// as "curves/c_%i.crv" (pairs of little-endian 32-bit integers, no header).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "puzzle/curve.h"
#include "tools/mkdata.h"

struct SourcePoint {
    int32_t x, y;
};

static void put_le32(std::vector<uint8_t> &out, int32_t v)
{
    uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; i++)
        out.push_back((uint8_t)(u >> (8 * i)));
}

// A curve that is not a whole chain, not symmetric, or does not end on its start line
// would leave gaps or overlaps between neighbouring pieces, so the build refuses it.
static void check_curve(int type, const std::vector<SourcePoint> &p)
{
    size_t n = p.size();
    if (n < 4 || (n - 1) % 3 != 0 || n > (size_t)MAX_CONTROLPOINTS)
        mk_fail("curves.txt: curve %i has %zu points; a chain has 1 + 3k, at most %i", type, n, MAX_CONTROLPOINTS);
    if (p[0].x != 0 || p[0].y != 0 || p[n - 1].x != 1000 || p[n - 1].y != 0)
        mk_fail("curves.txt: curve %i must run from (0, 0) to (1000, 0)", type);
    for (size_t i = 0; i < n; i++)
        if (p[i].x + p[n - 1 - i].x != 1000 || p[i].y != p[n - 1 - i].y)
            mk_fail("curves.txt: curve %i is not symmetric at point %zu", type, i);
}

void mk_curves(const MkData *mk)
{
    char *text = mk_read_source(mk, "curves.txt", nullptr);
    std::vector<SourcePoint> points[CURVE_TYPES];
    bool seen[CURVE_TYPES] = {};
    int current = -1;
    int line_no = 0;
    for (char *line = strtok(text, "\n"); line; line = strtok(nullptr, "\n")) {
        line_no++;
        if (char *hash = strchr(line, '#'))
            *hash = 0;
        char *s = line;
        while (isspace((unsigned char)*s))
            s++;
        if (!*s)
            continue;
        if (strncmp(s, "curve", 5) == 0 && isspace((unsigned char)s[5])) {
            char *end;
            long t = strtol(s + 5, &end, 10);
            if (end == s + 5 || t < 0 || t >= CURVE_TYPES || seen[t])
                mk_fail("curves.txt: line %i: a curve number 0 to 7, once each", line_no);
            current = (int)t;
            seen[t] = true;
            continue;  // the rest of the line names the shape
        }
        if (current < 0)
            mk_fail("curves.txt: line %i: points before the first curve", line_no);
        for (;;) {
            char *end;
            long x = strtol(s, &end, 10);
            if (end == s)
                break;
            s = end;
            long y = strtol(s, &end, 10);
            if (end == s)
                mk_fail("curves.txt: line %i: an x without its y", line_no);
            s = end;
            points[current].push_back({(int32_t)x, (int32_t)y});
        }
        while (isspace((unsigned char)*s))
            s++;
        if (*s)
            mk_fail("curves.txt: line %i: unexpected \"%s\"", line_no, s);
    }
    free(text);

    for (int t = 0; t < CURVE_TYPES; t++) {
        if (!seen[t])
            mk_fail("curves.txt: curve %i is missing", t);
        check_curve(t, points[t]);
        std::vector<uint8_t> out;
        for (const SourcePoint &p : points[t]) {
            put_le32(out, p.x);
            put_le32(out, p.y);
        }
        char name[32];
        snprintf(name, sizeof name, "curves/c_%i.crv", t);
        mk_write(mk, name, out.data(), out.size());
    }
}
