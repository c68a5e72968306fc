#pragma once
// Serialises the file header and the index, and parses them back with every size and reference
// checked, so a reader can refuse a file it cannot trust before touching point data.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ks_nox/nox_format.h"

namespace nox {

std::vector<uint8_t> encodeHeader(const FileHeader& header);
// Fails (with a reason) on a wrong magic, an unknown major version or a bad header checksum.
bool decodeHeader(const uint8_t* bytes, size_t size, FileHeader& header, std::string& reason);

// Hands the index to `sink` piece by piece, in file order.
using IndexSink = std::function<void(const uint8_t* data, size_t size)>;
void encodeIndex(const FileIndex& index, const IndexSink& sink);
// Checks the structure: counts, references between records, chunk ranges inside the data area
// [kHeaderSize, dataEnd), and that clouds' chunks are theirs. Unknown sections are skipped.
bool decodeIndex(const uint8_t* bytes, size_t size, uint64_t dataEnd, FileIndex& index,
                 std::string& reason);

}  // namespace nox
