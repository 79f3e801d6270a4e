// The force-feedback mouse in tests: a fake library (tests/fake_fbmouse.cpp) that the
// game loads as it would the real one, and what it was called with. Entry points are
// recorded as lines: "fbmouse_init", "fbmouse_done", "fbmouse_pop_start 3000",
// "fbmouse_bound_set LEFT TOP RIGHT BOTTOM SCREEN_W SCREEN_H", "fbmouse_bound_start",
// "fbmouse_bound_stop", "fbmouse_applause_start".
//
// Made before the game starts (a member of a ToolkitTest fixture is made before its
// SetUp), it loads the library as process start does, so kernel_init switches force
// feedback on by the player's setting; it unloads it when it goes. A game run as a
// child process inherits the library's names and records into the same file.
#pragma once
#include <string>
#include <vector>

#include "tests/support.h"

struct FakeFeedback {
    TempDir dir;
    std::string log = dir.file("fbmouse.log");

    // `with_ifc21` false names a second library that does not exist; `load` false leaves
    // the loading to the code under test.
    explicit FakeFeedback(bool with_ifc21 = true, bool load = true);
    ~FakeFeedback();
    FakeFeedback(const FakeFeedback &) = delete;
    FakeFeedback &operator=(const FakeFeedback &) = delete;

    // Every call so far, in order.
    std::vector<std::string> calls() const;
    // The calls of one entry point ("fbmouse_pop_start"), each with its arguments.
    std::vector<std::string> calls_of(const std::string &entry) const;
    int count(const std::string &entry) const { return (int)calls_of(entry).size(); }
    // Forgets what was recorded so far.
    void clear() const;
};
