// Compiler hints for the hot loops (page decoding, chunk compression): a
// function that must be inlined into its loop, and one kept out of line (so
// that a profile shows its cost as its own). A plain fallback elsewhere.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define TOLVEX_ALWAYS_INLINE [[gnu::always_inline]] inline
#define TOLVEX_NOINLINE [[gnu::noinline]]
#elif defined(_MSC_VER)
#define TOLVEX_ALWAYS_INLINE __forceinline
#define TOLVEX_NOINLINE __declspec(noinline)
#else
#define TOLVEX_ALWAYS_INLINE inline
#define TOLVEX_NOINLINE
#endif
