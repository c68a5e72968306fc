#pragma once

// What noxconvert answers to the shell; docs/noxconvert.md lists the same table. A refusal of the
// host kit answers by its kind.
#include "ks_hostkit/refusal.h"

namespace noxconvert {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitFailed = 1,       // the conversion or the command failed; what was written is listed
    kExitUsage = 2,        // the command line is wrong
    kExitUnsupported = 3,  // an input of a kind no handler converts (and no other error)
    kExitInputMissing =
        4,  // an input does not exist or cannot be opened, or patterns matched nothing
    kExitCancelled = 130,  // stopped by Ctrl-C (or SIGTERM), as shells count a SIGINT
};

inline ExitCode exitCodeOf(hostkit::RefusalKind kind) {
    switch (kind) {
        case hostkit::RefusalKind::BadRequest:
            return kExitUsage;
        case hostkit::RefusalKind::Unsupported:
            return kExitUnsupported;
        case hostkit::RefusalKind::Missing:
        case hostkit::RefusalKind::Unreadable:
            return kExitInputMissing;
        case hostkit::RefusalKind::Unavailable:
        case hostkit::RefusalKind::Failed:
            break;
    }
    return kExitFailed;
}

}  // namespace noxconvert
