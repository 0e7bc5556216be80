#pragma once
// The small pseudo-random generator for uses that guard nothing (row IDs are
// checked against the table, rule IDs, samples): 15-bit values 0 to 32767
// from a per-thread generator, seeded on first use in each thread. Anything
// that guards access draws from getrandom() instead.
#include <cstddef>

// Seeds the calling thread's generator from the process id, the tick, the
// time and the thread id.
void LSeedRand();
// 0 to 32767; seeds first when the thread has not been seeded.
int LRand();
// n letters "a" to "z" (each LRand() mod 26) and a terminator.
void LRandomLowercase(char* out, size_t n);
void LRandomLowercase(char16_t* out, size_t n);
