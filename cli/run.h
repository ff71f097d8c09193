// The program started with arguments: a command run without a display.
#pragma once

namespace cli {

// Makes the core application (no window system is touched), reads the command from the
// arguments and runs it. Returns the exit status: 0 done, 1 refused, 2 a usage error.
int run(int argc, char *argv[]);

} // namespace cli
