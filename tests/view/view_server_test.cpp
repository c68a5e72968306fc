// The view server over real HTTP on loopback: the page, the facts and the whole point stream of a
// file; nothing else, and GET and HEAD only; an error page that says why when the file cannot be
// shown; and a port that is in use refused, by a second server and by the tool.
#include "view_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "stream_decoding.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;
using noxconvert::ViewedFile;
using noxconvert::ViewServer;

// A server on a loopback port (0: a free one), serving on a thread of its own until the test ends.
class RunningServer {
public:
    explicit RunningServer(ViewedFile file, int port = 0) : server_(std::move(file)) {
        std::string reason;
        bound_ = server_.bind("127.0.0.1", port, reason);
        EXPECT_TRUE(bound_) << reason;
        if (bound_) thread_ = std::thread([this] { server_.run(); });
    }
    ~RunningServer() {
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }
    httplib::Client client() const { return httplib::Client("127.0.0.1", server_.port()); }
    int port() const { return server_.port(); }

private:
    ViewServer server_;
    bool bound_ = false;
    std::thread thread_;
};

TEST(ViewServer, ServesThePageTheFactsAndEveryPointAndNothingElse) {
    resetWriterSettings();
    const fs::path folder = scratchFolder();
    const SampleInputs inputs = writeSampleInputs(folder);
    const fs::path nox = folder / "sample.nox";
    ASSERT_TRUE(convertWithTool({inputs.stream, inputs.grid}, nox));

    ViewedFile file;
    file.name = "sample.nox";
    hostkit::Result<hostkit::NoxScene> scene = hostkit::NoxScene::open(nox.string());
    ASSERT_TRUE(scene) << scene.refusal().reason;
    const uint64_t points = scene->summary().points;
    file.scene.emplace(std::move(*scene));
    file.index = readIndex(nox);
    RunningServer server(std::move(file));
    httplib::Client client = server.client();

    const auto page = client.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("/view.js"), std::string::npos);
    const auto script = client.Get("/view.js");
    ASSERT_TRUE(script);
    EXPECT_EQ(script->status, 200);
    EXPECT_GT(script->body.size(), 100'000u);  // three.js is in it

    const auto facts = client.Get("/facts.json");
    ASSERT_TRUE(facts);
    const nlohmann::json json = nlohmann::json::parse(facts->body);
    EXPECT_EQ(json["points"], points);
    EXPECT_EQ(json["file"], "sample.nox");

    const auto stream = client.Get("/points?budget=not-a-number");
    ASSERT_TRUE(stream);
    const DecodedStream decoded = decodeStream(stream->body);
    ASSERT_TRUE(decoded.wellFormed);
    EXPECT_EQ(decoded.status, 0u) << decoded.message;
    EXPECT_EQ(decoded.points.size(), points);

    for (const char* path : {"/../sample.nox", "/view.jsx", "/view_js", "/facts.json/", "/x"}) {
        const auto refused = client.Get(path);
        ASSERT_TRUE(refused) << path;
        EXPECT_EQ(refused->status, 404) << path;
    }
    const auto foreign = client.Get("/facts.json", {{"Host", "elsewhere.example"}});
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->status, 403);

    const auto head = client.Head("/facts.json");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_TRUE(head->body.empty());
    // Every other method, on every path, known or not; the connection is still good afterwards.
    for (const char* path : {"/", "/points", "/facts.json", "/x"}) {
        for (const auto& answer : {client.Post(path, "x=1", "application/x-www-form-urlencoded"),
                                   client.Put(path, "{}", "application/json"), client.Delete(path),
                                   client.Options(path)}) {
            ASSERT_TRUE(answer) << path;
            EXPECT_EQ(answer->status, 405) << path;
            EXPECT_EQ(answer->get_header_value("Allow"), "GET, HEAD") << path;
        }
    }
    const auto after = client.Get("/facts.json");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->status, 200);
}

TEST(ViewServer, FileThatCannotBeShownGetsAnErrorPageWithTheReason) {
    ViewedFile file;
    file.name = "broken <1>.nox";
    file.failure = "cannot read the index: checksum <mismatch>";
    RunningServer server(std::move(file));
    httplib::Client client = server.client();
    for (const char* path : {"/", "/points", "/facts.json"}) {
        const auto answer = client.Get(path);
        ASSERT_TRUE(answer) << path;
        EXPECT_EQ(answer->status, 500) << path;
        EXPECT_NE(answer->body.find("checksum &lt;mismatch&gt;"), std::string::npos) << path;
        EXPECT_NE(answer->body.find("broken &lt;1&gt;.nox"), std::string::npos) << path;
    }
    const auto post = client.Post("/", "", "text/plain");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->status, 405);
}

ViewedFile unreadable(const std::string& name) {
    ViewedFile file;
    file.name = name;
    file.failure = "not a NOX file";
    return file;
}

// The page a server answers with, which tells two servers apart.
std::string pageOf(const RunningServer& server) {
    const auto answer = server.client().Get("/");
    return answer ? answer->body : "no answer";
}

TEST(ViewServer, PortInUseIsRefusedAndTheFirstServerKeepsItsRequests) {
    RunningServer first(unreadable("first.nox"));
    ViewServer second(unreadable("second.nox"));
    std::string reason;
    EXPECT_FALSE(second.bind("127.0.0.1", first.port(), reason));
    EXPECT_NE(reason.find(":" + std::to_string(first.port()) + ": the port is taken"),
              std::string::npos)
        << reason;
    // Bound to every address, the same port is taken as well.
    EXPECT_FALSE(second.bind("0.0.0.0", first.port(), reason));
    for (int i = 0; i < 8; ++i)
        EXPECT_NE(pageOf(first).find("first.nox"), std::string::npos) << "request " << i;

    // The tool, asked for the same port, ends at once with exit 1 and says why.
    const fs::path folder = scratchFolder();
    const fs::path other = folder / "other.nox";
    std::ofstream(other) << "not a NOX file";
    const ToolRun run = runTool(KS_NOXCONVERT_PATH,
                                {"view", other.string(), "--port", std::to_string(first.port())});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("cannot listen on 127.0.0.1:" + std::to_string(first.port()) +
                           ": the port is taken"),
              std::string::npos)
        << run.err;
    EXPECT_NE(pageOf(first).find("first.nox"), std::string::npos);
}

TEST(ViewServer, PortCanBeTakenAgainRightAfterItsServerStops) {
    int port = 0;
    {
        RunningServer served(unreadable("before.nox"));
        port = served.port();
        // The server closes this connection first, so its end waits in TIME_WAIT on the port.
        const auto answer = served.client().Get("/", {{"Connection", "close"}});
        ASSERT_TRUE(answer);
    }
    RunningServer again(unreadable("after.nox"), port);
    EXPECT_EQ(again.port(), port);
    EXPECT_NE(pageOf(again).find("after.nox"), std::string::npos);
}

}  // namespace
}  // namespace ks_test
