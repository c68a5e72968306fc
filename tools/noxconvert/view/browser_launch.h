#pragma once

// Starts the system's web browser on an address, without waiting for it.
#include <string>

namespace noxconvert {

// False with a reason when no browser could be started.
bool openInBrowser(const std::string& address, std::string& reason);

}  // namespace noxconvert
