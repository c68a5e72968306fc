#include "reports/json_report.h"

#include <cerrno>
#include <cstring>

#include "ks_hostkit/output_file.h"
#include "ks_hostkit/result_names.h"
#include "reports/report_text.h"

namespace noxconvert {
namespace {

using json = nlohmann::ordered_json;
using namespace hostkit;

json outputJson(const WrittenOutput& output) {
    json entry = {{"file", output.file}, {"clouds", nullptr}, {"points", nullptr}};
    if (output.clouds) entry["clouds"] = *output.clouds;
    if (output.points) entry["points"] = *output.points;
    return entry;
}

json failureJson(const FailedInput& failure) {
    return {{"fileIndex", failure.fileIndex}, {"file", failure.file},
            {"result", failure.result},       {"resultName", resultName(failure.result)},
            {"phase", failure.phase},         {"phaseName", phaseCodeName(failure.phase)},
            {"reason", failure.reason}};
}

json skipJson(const LeftOutInput& skip) {
    return {{"fileIndex", skip.fileIndex},
            {"file", skip.file},
            {"cause", skip.cause},
            {"causeName", skipCauseName(skip.cause)},
            {"reason", skip.reason}};
}

}  // namespace

nlohmann::ordered_json reportJson(const ConversionOutcome& outcome) {
    json report;
    report["mode"] = outcome.mode;
    report["output"] = outcome.output;
    report["inputs"] = outcome.inputs;
    report["outputs"] = json::array();
    for (const WrittenOutput& output : outcome.outputs)
        report["outputs"].push_back(outputJson(output));
    const std::optional<uint64_t> total = totalPoints(outcome);
    report["totalPoints"] = total ? json(*total) : json(nullptr);
    report["pointsRead"] = outcome.pointsRead;
    report["skipped"] = json::array();
    for (const LeftOutInput& skip : outcome.skipped) report["skipped"].push_back(skipJson(skip));
    report["failures"] = json::array();
    for (const FailedInput& failure : outcome.failures)
        report["failures"].push_back(failureJson(failure));
    report["removedEmptyOutput"] =
        outcome.removedEmptyOutput.empty() ? json(nullptr) : json(outcome.removedEmptyOutput);
    report["refusals"] = outcome.refusals;
    report["result"] = outcome.result ? json(*outcome.result) : json(nullptr);
    report["resultName"] = outcome.result ? json(resultName(*outcome.result)) : json(nullptr);
    report["cancelled"] = outcome.cancelled;
    report["exitCode"] = outcome.exitCode;
    report["seconds"] = outcome.seconds;
    return report;
}

bool writeJsonReport(const std::string& path, const ConversionOutcome& outcome,
                     std::string& reason) {
    hostkit::OutputFile file(path);
    if (file.isOpen()) {
        const std::string text = jsonText(reportJson(outcome));
        std::fwrite(text.data(), 1, text.size(), file.get());
        if (file.commit()) return true;
    }
    reason = std::strerror(errno);
    return false;
}

}  // namespace noxconvert
