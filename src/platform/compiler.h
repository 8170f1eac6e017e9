// Compiler hints for the hot loops (page decoding, chunk compression): a
// function that must be inlined into its loop. A plain fallback elsewhere.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define TOLVEX_ALWAYS_INLINE [[gnu::always_inline]] inline
#elif defined(_MSC_VER)
#define TOLVEX_ALWAYS_INLINE __forceinline
#else
#define TOLVEX_ALWAYS_INLINE inline
#endif
