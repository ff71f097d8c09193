// madvise(MADV_HUGEPAGE) on the whole 2 MiB pages inside a buffer.
#include "common/hugepages.h"

#include <cstdint>

#include <sys/mman.h>

void preferHugePages(const void *data, std::size_t size) {
    constexpr std::uintptr_t Huge = std::uintptr_t(2) << 20;
    if (size < Huge)
        return;
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (at + Huge - 1) & ~(Huge - 1);
    const std::uintptr_t end = (at + size) & ~(Huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}
