// What the processor offers that the code asks for by name.
#pragma once

// Marks a function whose time goes largely into popCount: with GCC on x86-64 Linux it is built
// twice, with and without the processor's population-count instruction (which the compiler puts
// in place of popCount's steps), and the loader picks the copy that the processor can run. The
// build itself stays runnable on any x86-64. Not in sanitizer builds: the loader runs the picking
// code before a sanitizer's runtime is ready for the checks compiled into it.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__POPCNT__) && !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define VARNU_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define VARNU_POPCOUNT_CLONES
#endif
