#pragma once

// The console the tools write to, and the stop requests it delivers to a program that runs
// until interrupted.
#include <cstdio>

namespace ks_tools {

// True when stream is an interactive console that shows a live line: a carriage return goes back
// to the line's start and "ESC [ K" erases to its end. On Windows the console is switched to
// take such sequences; a console that cannot counts as no terminal.
bool isLiveConsole(std::FILE* stream);

// Columns of the console stream writes to; 80 when unknown or fewer than 40.
int consoleColumns(std::FILE* stream);

// While it lives, text written to the console is taken as UTF-8, as the tools write it. Linux
// terminals already are; on Windows the console's output code page is set to UTF-8 and put back
// afterwards. Output to files and pipes is UTF-8 bytes either way.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    [[maybe_unused]] unsigned previousCodePage_ = 0;  // Windows: the code page to put back
};

// From this call on, Ctrl+C (and SIGTERM; on Windows Ctrl+Break and closing the console) no longer
// ends the process but sets a flag that stopRequested() answers, for programs that poll.
void catchStopRequests();
bool stopRequested();

}  // namespace ks_tools
