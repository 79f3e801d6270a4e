// Edge curve files for tests: eight small, distinct shapes in the game's curve format.
#pragma once
#include <string>

// Writes "curves/c_0.crv" .. "curves/c_7.crv" into `folder` (creating folder/curves), so
// that dp_open((folder + "@").c_str()) serves them to curves_init. Curve 0 is straight;
// 1 to 7 are tabs running from (0, 0) to (1000, 0), each the same when walked backwards
// from the other end, as two pieces sharing an edge need.
void write_test_curves(const std::string &folder);
