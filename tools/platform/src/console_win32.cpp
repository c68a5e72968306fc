#include <windows.h>
// After windows.h, which it needs.
#include <io.h>

#include <atomic>
#include <cstdint>

#include "ks_tools/console.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace ks_tools {
namespace {

std::atomic<bool> stopFlag{false};

// The console handle behind a C stream; null when the stream goes to a file or a pipe.
HANDLE consoleOf(std::FILE* stream) {
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    if (handle == -1) return nullptr;
    DWORD mode = 0;
    return GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode)
               ? reinterpret_cast<HANDLE>(handle)
               : nullptr;
}

// Runs on a thread the system starts for the event. Returning TRUE keeps the process alive for
// Ctrl+C and Ctrl+Break; after a close, log-off or shut-down the system ends it anyway, and the
// polling program has until then to notice.
BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            stopFlag = true;
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool isLiveConsole(std::FILE* stream) {
    const HANDLE console = consoleOf(stream);
    if (!console) return false;
    DWORD mode = 0;
    if (!GetConsoleMode(console, &mode)) return false;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
    return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int consoleColumns(std::FILE* stream) {
    const HANDLE console = consoleOf(stream);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!console || !GetConsoleScreenBufferInfo(console, &info)) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns >= 40 ? columns : 80;
}

Utf8Console::Utf8Console() : previousCodePage_(GetConsoleOutputCP()) {
    // No console (previousCodePage_ 0): nothing to set.
    if (previousCodePage_ != 0 && previousCodePage_ != CP_UTF8) SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console() {
    if (previousCodePage_ != 0 && previousCodePage_ != CP_UTF8)
        SetConsoleOutputCP(previousCodePage_);
}

void catchStopRequests() { SetConsoleCtrlHandler(onConsoleControl, TRUE); }

bool stopRequested() { return stopFlag.load(); }

}  // namespace ks_tools
