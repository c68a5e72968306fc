#pragma once

// The HTTP side of `noxconvert view`: one page, its script and style, the file's facts and its
// points. Only those fixed addresses answer; nothing a request names ever reaches the file
// system. Requests whose Host is not this server's own address are refused too, so a web page
// elsewhere cannot reach the points through a name that resolves to the loopback address.
#include <memory>
#include <optional>
#include <string>

#include "ks_hostkit/nox_scene.h"
#include "ks_nox/nox_format.h"

namespace noxconvert {

// What the server shows: an opened file with its index, or the reason it could not be opened
// (then every address answers with an error page that gives it).
struct ViewedFile {
    std::string name;  // as the page shows it
    std::optional<hostkit::NoxScene> scene;
    nox::FileIndex index;
    std::string failure;
};

class ViewServer {
public:
    explicit ViewServer(ViewedFile file);
    ~ViewServer();
    ViewServer(const ViewServer&) = delete;
    ViewServer& operator=(const ViewServer&) = delete;

    // Binds host:port (port 0: a free one); false with a reason when the address is taken or
    // unknown.
    bool bind(const std::string& host, int port, std::string& reason);
    int port() const;
    // Serves until stop() is called from another thread.
    void run();
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace noxconvert
