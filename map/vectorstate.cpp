// VZEROUPPER where the processor has it.
#include "map/vectorstate.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace map {

#if defined(__x86_64__) || defined(__i386__)

namespace {
__attribute__((target("avx"))) void zeroUpper() {
    _mm256_zeroupper();
}
} // namespace

bool hasUpperVectorState() {
    static const bool avx = __builtin_cpu_supports("avx");
    return avx;
}

void clearUpperVectorState() {
    if (hasUpperVectorState())
        zeroUpper();
}

#else

bool hasUpperVectorState() {
    return false;
}

void clearUpperVectorState() {}

#endif

} // namespace map
