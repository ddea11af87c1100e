#include "tools/interrupt.h"

#include <csignal>

namespace quorvel::tools {

namespace {

volatile std::sig_atomic_t caught = 0;

extern "C" void noteSignal(int number) {
    caught = number;
    std::signal(number, SIG_DFL);
}

}  // namespace

void catchInterrupts() {
    std::signal(SIGINT, noteSignal);
    std::signal(SIGTERM, noteSignal);
}

void stopIfInterrupted() {
    if (caught != 0) throw Interrupted(caught);
}

}  // namespace quorvel::tools
