// A hint for large buffers that are filled right after they are allocated (an inflated part, a
// sheet's cells and texts): backed by pages of 2 MiB, they cost the kernel some 500 times fewer
// page faults. Only a hint; a kernel without transparent huge pages ignores it.
#pragma once

#include <cstddef>

void preferHugePages(const void *data, std::size_t size);
