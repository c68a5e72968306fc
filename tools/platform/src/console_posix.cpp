#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>

#include "ks_tools/console.h"

namespace ks_tools {
namespace {

volatile std::sig_atomic_t stopFlag = 0;

void onStopSignal(int) { stopFlag = 1; }

}  // namespace

bool isLiveConsole(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

int consoleColumns(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col >= 40) return size.ws_col;
    return 80;
}

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

void catchStopRequests() {
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool stopRequested() { return stopFlag != 0; }

}  // namespace ks_tools
