#include "ks_common/progress_record.h"

#include <algorithm>

#include "ks_common/little_endian.h"
#include "ks_common/text_encoding.h"

namespace ks_common {
namespace {

// Reads "|<int>" at pos; advances pos past it.
bool readNumberField(std::basic_string_view<WideChar> text, size_t& pos, int& value) {
    if (pos >= text.size() || text[pos] != KS_WIDE('|')) return false;
    size_t i = pos + 1;
    bool negative = false;
    if (i < text.size() && text[i] == KS_WIDE('-')) {
        negative = true;
        ++i;
    }
    const size_t digitsStart = i;
    long long number = 0;
    while (i < text.size() && text[i] >= KS_WIDE('0') && text[i] <= KS_WIDE('9') &&
           i - digitsStart < 10) {
        number = number * 10 + (text[i] - KS_WIDE('0'));
        ++i;
    }
    if (i == digitsStart) return false;
    value = static_cast<int>(negative ? -number : number);
    pos = i;
    return true;
}

}  // namespace

std::string progressEventName(const std::string& blockName) { return blockName + "Event"; }

WideString formatProgressRecord(const WideChar* fileName, int overall, int filePercent,
                                int fileIndex, int phase) {
    WideString text(wideView(fileName));
    for (int number : {overall, filePercent, fileIndex, phase}) {
        text.push_back(KS_WIDE('|'));
        text += asciiToWide(std::to_string(number));
    }
    return text;
}

void storeProgressRecord(std::basic_string_view<WideChar> record, unsigned char* block,
                         size_t blockBytes) {
    const size_t units = std::min(record.size(), blockBytes / 2);
    for (size_t i = 0; i < units; ++i) store(block + 2 * i, static_cast<char16_t>(record[i]));
}

WideString loadBlockUnits(const unsigned char* block, size_t blockBytes) {
    WideString units(blockBytes / 2, 0);
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<WideChar>(load<char16_t>(block + 2 * i));
    return units;
}

bool parseProgressRecord(std::basic_string_view<WideChar> units, ProgressRecord& record) {
    const size_t end = units.find(WideChar(0));
    if (end != std::basic_string_view<WideChar>::npos) units = units.substr(0, end);
    for (size_t bar = units.find(KS_WIDE('|')); bar != std::basic_string_view<WideChar>::npos;
         bar = units.find(KS_WIDE('|'), bar + 1)) {
        size_t pos = bar;
        int values[4];
        bool ok = true;
        for (int& value : values) ok = ok && readNumberField(units, pos, value);
        if (!ok) continue;
        record.fileName.assign(units.substr(0, bar));
        record.overall = values[0];
        record.filePercent = values[1];
        record.fileIndex = values[2];
        record.phase = values[3];
        return true;
    }
    return false;
}

}  // namespace ks_common
