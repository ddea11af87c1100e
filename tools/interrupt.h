// Ctrl-C and SIGTERM during a render: the signal is noted, the render loop
// stops at the end of its block, the temporary files are removed, and the
// program exits with 128 + the signal's number (130, 143).
#pragma once

#include <stdexcept>

namespace quorvel::tools {

struct Interrupted : std::runtime_error {
    explicit Interrupted(int number) : std::runtime_error("interrupted"), signal(number) {}
    int signal;
};

// Notes SIGINT and SIGTERM from now on; a second one ends the program at once.
void catchInterrupts();
// Throws Interrupted once a signal has been noted.
void stopIfInterrupted();

}  // namespace quorvel::tools
