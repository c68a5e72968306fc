// noxconvert view: serves a NOX file to the web browser as a 3D view until Ctrl-C.
#include <cstdio>
#include <filesystem>

#include "browser_launch.h"
#include "cancel/cancel_watcher.h"
#include "commands/commands.h"
#include "commands/exit_codes.h"
#include "ks_nox/file_index.h"
#include "ks_tools/utf8_path.h"
#include "view_server.h"

namespace noxconvert {
namespace {

std::string addressOf(const std::string& host, int port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
}

// The file opened with its index, or the reason it cannot be shown.
ViewedFile openViewed(const std::string& noxPath) {
    ViewedFile file;
    file.name = ks_tools::utf8FromPath(ks_tools::pathFromUtf8(noxPath).filename());
    hostkit::Result<hostkit::NoxScene> scene = hostkit::NoxScene::open(noxPath);
    if (!scene) {
        file.failure = scene.refusal().reason;
        return file;
    }
    std::string reason;
    std::optional<nox::FileIndex> index =
        nox::readFileIndex(ks_tools::pathFromUtf8(noxPath), reason);
    if (!index) {
        file.failure = "cannot read the index: " + reason;
        return file;
    }
    file.scene.emplace(std::move(*scene));
    file.index = std::move(*index);
    return file;
}

}  // namespace

int runView(const ViewOptions& options) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(ks_tools::pathFromUtf8(options.noxPath), error)) {
        std::fprintf(stderr, "noxconvert: cannot open %s: no such file\n", options.noxPath.c_str());
        return kExitInputMissing;
    }
    // Ctrl-C is taken by a watcher thread, which exists before the server's threads.
    holdStopSignals();
    ViewedFile file = openViewed(options.noxPath);
    const bool damaged = !file.scene;
    if (damaged)
        std::fprintf(stderr, "noxconvert: cannot show %s: %s; the page says why\n",
                     options.noxPath.c_str(), file.failure.c_str());
    ViewServer server(std::move(file));
    std::string reason;
    if (!server.bind(options.host, options.port, reason)) {
        std::fprintf(stderr, "noxconvert: %s\n", reason.c_str());
        return kExitFailed;
    }
    const std::string address = addressOf(options.host, server.port());
    std::printf("noxconvert: showing %s at %s (Ctrl-C stops)\n", options.noxPath.c_str(),
                address.c_str());
    std::fflush(stdout);
    if (options.openBrowser && !openInBrowser(address, reason))
        std::fprintf(stderr, "noxconvert: %s; open %s yourself\n", reason.c_str(), address.c_str());
    CancelWatcher watcher([&server] { server.stop(); }, [] {});
    server.run();
    return damaged ? kExitFailed : kExitSuccess;
}

}  // namespace noxconvert
