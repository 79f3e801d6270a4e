// Both generators keep their own state: the runtime's rand() would give other numbers on
// every C library, and anything else calling it would shift the game's sequence.
#include "platform/random.h"

static struct {
    uint32_t next_state;  // rand_next
    uint32_t mod_state;   // rand_mod
} rnd = {RAND_SEED, 1};

void rand_seed(uint32_t value)
{
    rnd.next_state = value;
}

int rand_next(uint32_t n)
{
    if (n == 0)
        return 0;
    rnd.next_state = rnd.next_state * 1103515245u + 12345u;
    return (int)((rnd.next_state >> 16) % n);
}

int rand_mod(int n)
{
    rnd.mod_state = rnd.mod_state * 214013u + 2531011u;
    int r = (int)((rnd.mod_state >> 16) & 0x7FFF);
    // A zero range (a preview as wide as the screen) must not divide by zero.
    return n == 0 ? 0 : r % n;
}
