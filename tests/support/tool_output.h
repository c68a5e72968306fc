#pragma once
// Reading what noxconvert prints: the files `convert` names as written, and the key: value
// lines of `info`, top level and per cloud.
#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ks_test {

// The PATH of every "written: PATH" line.
std::vector<std::string> writtenFiles(const std::string& out);

struct Bounds {
    std::array<double, 3> min{}, max{};
};

struct InfoSection {
    std::map<std::string, std::string> values;  // key -> value text
    std::optional<unsigned long long> number(const std::string& key) const;
    std::optional<Bounds> bounds() const;  // "bounds: x MIN MAX y MIN MAX z MIN MAX"
};

struct Info {
    InfoSection file;                 // lines before the first cloud
    std::vector<InfoSection> clouds;  // from each "cloud I: NAME" line on
};

Info parseInfo(const std::string& out);

}  // namespace ks_test
