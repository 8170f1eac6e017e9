// Compiler hints for the hot loops (page decoding, chunk compression): a
// function that must be inlined into its loop, and fetching memory into the
// cache ahead of its use. Plain fallbacks elsewhere.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define TOLVEX_ALWAYS_INLINE [[gnu::always_inline]] inline
#define TOLVEX_PREFETCH(p) __builtin_prefetch(p)
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#define TOLVEX_ALWAYS_INLINE __forceinline
#define TOLVEX_PREFETCH(p) _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0)
#else
#define TOLVEX_ALWAYS_INLINE inline
#define TOLVEX_PREFETCH(p) ((void)(p))
#endif
