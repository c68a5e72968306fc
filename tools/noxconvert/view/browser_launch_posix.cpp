#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "browser_launch.h"

extern char** environ;

namespace noxconvert {

bool openInBrowser(const std::string& address, std::string& reason) {
    // xdg-open hands the address to the desktop's browser and returns; the child is reaped
    // here so no zombie stays behind while the server runs.
    std::string program = "xdg-open";
    char* argv[] = {program.data(), const_cast<char*>(address.c_str()), nullptr};
    // The tool holds Ctrl-C for its own watcher thread; the browser gets the usual signals back.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t child = 0;
    const int error = posix_spawnp(&child, program.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        reason = "cannot start xdg-open: " + std::string(std::strerror(error));
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        reason = "xdg-open found no browser to start";
        return false;
    }
    return true;
}

}  // namespace noxconvert
