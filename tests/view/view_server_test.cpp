// The view server over real HTTP on loopback: the page, the facts and the whole point stream of a
// file; nothing else; and an error page that says why when the file cannot be shown.
#include "view_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

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

// A server on a free loopback port, serving on a thread of its own until the test ends.
class RunningServer {
public:
    explicit RunningServer(ViewedFile file) : server_(std::move(file)) {
        std::string reason;
        bound_ = server_.bind("127.0.0.1", 0, reason);
        EXPECT_TRUE(bound_) << reason;
        if (bound_) thread_ = std::thread([this] { server_.run(); });
    }
    ~RunningServer() {
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }
    httplib::Client client() const { return httplib::Client("127.0.0.1", server_.port()); }

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
}

}  // namespace
}  // namespace ks_test
