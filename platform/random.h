// The game's two random generators. rand_next is its own, reseeded at the start of every
// cut so a box always cuts the same way; rand_mod serves dealing, shelf places and file
// identities and is never reseeded.
#pragma once
#include <cstdint>

constexpr uint32_t RAND_SEED = 0xABCD1234;  // the state of rand_next at start-up

// Sets the state of rand_next; the cutter calls it with RAND_SEED before every cut.
void rand_seed(uint32_t value);

// Steps state := state * 1103515245 + 12345 (mod 2^32) and returns (state >> 16) mod n,
// so a value below min(n, 65536). n = 0 returns 0 and leaves the state alone.
int rand_next(uint32_t n);

// The next value r of the runtime's generator (state := state * 214013 + 2531011
// (mod 2^32), r = bits 16 to 30 of the state, so 0..32767; the state starts at 1), and
// returns r % n with C's rules for a negative n. n = 0 still draws r and returns 0.
int rand_mod(int n);
