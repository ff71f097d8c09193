// The any-table export's handler, which stands here until the table engine can run it.
#include "cli/tablecommand.h"

#include <cstdio>

int runTable(const TableCommand &) {
    std::fputs("kmlmaker table: not built yet\n", stderr);
    return 1;
}
