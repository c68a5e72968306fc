// noxmonitor: the monitoring end of the progress channel. Creates the shared block and its
// event, waits for records and prints each one until interrupted (or until --count records or
// --timeout seconds without a record), then removes what it created. On Windows the block and
// the event exist while some process holds a handle to them: this one holds its handles until
// it ends, and there is nothing to remove.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <string>

#include "ks_common/progress_record.h"
#include "ks_common/shared_memory.h"
#include "ks_common/text_encoding.h"
#include "ks_tools/arguments.h"
#include "ks_tools/console.h"
#include "ks_tools/files.h"

namespace {

// How the system names the shared objects, for messages.
#if defined(_WIN32)
constexpr const char* kObjectPrefix = "";
#else
constexpr const char* kObjectPrefix = "/";
#endif

}  // namespace

int main(int argc, char** argv) {
    using namespace ks_common;
    const ks_tools::Utf8Arguments arguments(argc, argv);
    const ks_tools::Utf8Console console;
    CLI::App app{"Prints the progress records of conversions running on this machine."};
    long long maxRecords = 0;
    double idleTimeout = 0;
    app.add_option("-n,--count", maxRecords, "stop after this many records (0: no limit)");
    app.add_option("-t,--timeout", idleTimeout, "stop after this many seconds without a record");
    CLI11_PARSE(app, arguments.count(), arguments.values());

    const std::string blockName = kProgressBlockName;
    const std::string eventName = progressEventName(blockName);
    ks_common::SharedMemory block = ks_common::SharedMemory::create(blockName, kProgressBlockSize);
    if (!block.isValid()) {
        std::fprintf(stderr, "noxmonitor: cannot create the shared block %s%s: %s\n", kObjectPrefix,
                     blockName.c_str(), ks_tools::lastSystemError().c_str());
        return 1;
    }
    ks_common::MappedView view = ks_common::MappedView::map(block, kProgressBlockSize);
    // Start from a quiet event: a stale signal from an earlier run would print a blank record.
    // Removing the name makes a new event on Linux; on Windows the event is the one a converter
    // may still hold, and an auto-reset event keeps one pending signal at most, which this wait
    // takes.
    ks_common::NamedEvent::remove(eventName);
    ks_common::NamedEvent event = ks_common::NamedEvent::openOrCreate(eventName, false);
    event.wait(0);
    if (!view.isValid() || !event.isValid()) {
        std::fprintf(stderr, "noxmonitor: cannot map the block or open the event\n");
        ks_common::SharedMemory::remove(blockName);
        return 1;
    }
    std::memset(view.data(), 0, view.size());

    ks_tools::catchStopRequests();
    std::printf("noxmonitor: waiting for progress on %s%s\n", kObjectPrefix, blockName.c_str());
    std::fflush(stdout);

    long long printed = 0;
    double idle = 0;
    constexpr int kPollMs = 200;
    while (!ks_tools::stopRequested() && (maxRecords == 0 || printed < maxRecords)) {
        if (!event.wait(kPollMs)) {
            idle += kPollMs / 1000.0;
            if (idleTimeout > 0 && idle >= idleTimeout) break;
            continue;
        }
        idle = 0;
        ProgressRecord record;
        const WideString units = loadBlockUnits(view.data(), view.size());
        // Clear the block so the next record is read without the tail of this one.
        std::memset(view.data(), 0, view.size());
        if (!parseProgressRecord(units, record)) continue;
        std::printf("%s\toverall %d%%\tfile %d%%\tindex %d\tphase %d\n",
                    ks_common::encodeUtf8(record.fileName).c_str(), record.overall,
                    record.filePercent, record.fileIndex, record.phase);
        std::fflush(stdout);
        ++printed;
    }

    ks_common::NamedEvent::remove(eventName);
    ks_common::SharedMemory::remove(blockName);
    return 0;
}
