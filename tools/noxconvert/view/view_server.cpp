#include "view_server.h"

#include <httplib.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>

#include "ks_tools/markup_text.h"
#include "point_stream.h"
#include "view_assets.h"
#include "view_facts.h"

namespace noxconvert {
namespace {

std::string errorPage(const std::string& file, const std::string& reason) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>noxconvert view: " +
           ks_tools::escapeMarkup(file) +
           "</title></head>\n<body style=\"font-family: sans-serif; margin: 2em\">\n"
           "<h1>Cannot show " +
           ks_tools::escapeMarkup(file) + "</h1>\n<p id=\"reason\">" +
           ks_tools::escapeMarkup(reason) + "</p>\n</body></html>\n";
}

// The budget a request asks for: ?budget=N, else the default; nonsense is the default too.
uint64_t requestedBudget(const httplib::Request& request) {
    if (!request.has_param("budget")) return kDefaultPointBudget;
    const std::string text = request.get_param_value("budget");
    uint64_t budget = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), budget);
    if (error != std::errc() || end != text.data() + text.size()) return kDefaultPointBudget;
    return budget;
}

// Fixed content with its length. The server compresses bodies set directly with its slowest
// setting, which made the page's script take a second to arrive over loopback; content handed
// out by a provider goes as it is.
void sendFixed(httplib::Response& response, std::string_view content, const char* mediaType) {
    response.set_content_provider(content.size(), mediaType,
                                  [content](size_t offset, size_t length, httplib::DataSink& sink) {
                                      return sink.write(content.data() + offset, length);
                                  });
}

// The listening socket belongs to this server alone. The server's default lets a second process
// bind the same port beside it (SO_REUSEPORT) and share its requests; without it a port in use
// is refused. SO_REUSEADDR still allows a restart while the old socket waits in TIME_WAIT, which
// on Linux never lets two sockets listen on one port. On Windows SO_REUSEADDR would let another
// program take the port over, so the socket is made exclusive instead.
void exclusiveListening(socket_t listening) {
    int yes = 1;
#ifdef _WIN32
    setsockopt(listening, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
               sizeof yes);
#else
    setsockopt(listening, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
}

// Why binding failed, from the error the failed bind() left behind (the server reports only
// that it failed); the two usual causes by name, the rest as a guess.
std::string bindFailure(int error) {
    if (error == EADDRINUSE)
        return "the port is taken by another program (perhaps another noxconvert view); choose "
               "another --port, or --port 0 for a free one";
    if (error == EADDRNOTAVAIL) return "the address is not one of this machine's";
    return "the port is taken or the address is not one of this machine's";
}

}  // namespace

struct ViewServer::State {
    explicit State(ViewedFile viewed) : file(std::move(viewed)) {}
    ViewedFile file;
    std::string factsJson;
    std::array<double, 3> centre{};
    httplib::Server http;
    std::string host;
    int port = 0;

    bool acceptsHost(const httplib::Request& request) const;
    void route();
};

bool ViewServer::State::acceptsHost(const httplib::Request& request) const {
    // A server bound to every address answers any name; a loopback one only its own names.
    if (host == "0.0.0.0" || host == "::") return true;
    const std::string given = request.get_header_value("Host");
    const std::string suffix = ":" + std::to_string(port);
    for (const std::string& name :
         {host, std::string("localhost"), std::string("127.0.0.1"), std::string("[::1]")})
        if (given == name + suffix || given == name) return true;
    return false;
}

void ViewServer::State::route() {
    // Before any route, and before a request's body is read: other hosts' names, then methods
    // other than GET and HEAD, whatever the path.
    http.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            if (!acceptsHost(request)) {
                response.status = 403;
                response.set_content("this server only answers requests to its own address\n",
                                     "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.method == "GET" || request.method == "HEAD")
                return httplib::Server::HandlerResponse::Unhandled;
            response.status = 405;
            response.set_header("Allow", "GET, HEAD");
            // The body, if any, is never read, so the connection cannot carry another request.
            response.set_header("Connection", "close");
            response.set_content("this server only answers GET and HEAD\n", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        });
    http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty()) response.set_content("not found\n", "text/plain");
    });

    if (!file.scene) {
        const std::string page = errorPage(file.name, file.failure);
        http.Get(".*", [page](const httplib::Request&, httplib::Response& response) {
            response.status = 500;
            response.set_content(page, "text/html; charset=utf-8");
        });
        return;
    }
    for (const ViewAsset& asset : viewAssets()) {
        // Routes are patterns: a dot in a name stands for itself only.
        std::string pattern;
        for (const char c : std::string(asset.path))
            pattern += c == '.' ? "\\." : std::string(1, c);
        http.Get(pattern, [&asset](const httplib::Request&, httplib::Response& response) {
            sendFixed(response, asset.content, asset.mediaType);
        });
    }
    // Browsers ask for an icon; there is none.
    http.Get("/favicon\\.ico",
             [](const httplib::Request&, httplib::Response& response) { response.status = 204; });
    http.Get("/facts.json", [this](const httplib::Request&, httplib::Response& response) {
        sendFixed(response, factsJson, "application/json");
    });
    http.Get("/points", [this](const httplib::Request& request, httplib::Response& response) {
        const StreamPlan plan = planStream(file.scene->summary().points, requestedBudget(request));
        auto stream =
            std::make_shared<PointStream>(*file.scene, file.scene->clouds(), plan, centre);
        response.set_header("Cache-Control", "no-store");
        // Chunked: the length is not known ahead, as blocks end at cloud boundaries. (Without
        // a length or chunks the server keeps the connection open after the end, and the
        // browser waits seconds for it to close.)
        // Chunked transfer, framed here: the server's own chunking copies every block three
        // times, a third of the cost of sending it. Each block goes out as one chunk, its size
        // line and end written around it.
        response.set_header("Transfer-Encoding", "chunked");
        response.set_content_provider(
            "application/octet-stream", [stream](size_t, httplib::DataSink& sink) {
                std::string_view piece;
                if (!stream->next(piece)) {
                    sink.write("0\r\n\r\n", 5);
                    sink.done();
                    return true;
                }
                char size[24];
                const int length = std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                return sink.write(size, size_t(length)) && sink.write(piece.data(), piece.size()) &&
                       sink.write("\r\n", 2);
            });
    });
}

ViewServer::ViewServer(ViewedFile file) : state_(std::make_unique<State>(std::move(file))) {
    if (state_->file.scene) {
        const nlohmann::ordered_json facts =
            viewFacts(state_->file.name, state_->file.scene->summary(),
                      state_->file.scene->clouds(), state_->file.index);
        state_->factsJson = facts.dump();
        state_->centre = boundsCentre(indexBounds(state_->file.index));
    }
    state_->route();
}

ViewServer::~ViewServer() = default;

bool ViewServer::bind(const std::string& host, int port, std::string& reason) {
    state_->host = host;
    state_->http.set_socket_options(exclusiveListening);
    errno = 0;
    if (port == 0) {
        state_->port = state_->http.bind_to_any_port(host);
    } else {
        state_->port = state_->http.bind_to_port(host, port) ? port : -1;
    }
    if (state_->port <= 0) {
        reason =
            "cannot listen on " + host + ":" + std::to_string(port) + ": " + bindFailure(errno);
        return false;
    }
    return true;
}

int ViewServer::port() const { return state_->port; }

void ViewServer::run() { state_->http.listen_after_bind(); }

void ViewServer::stop() { state_->http.stop(); }

}  // namespace noxconvert
