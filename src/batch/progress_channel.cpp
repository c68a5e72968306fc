#include "batch/progress_channel.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/text_encoding.h"

namespace ks_formats {

ProgressChannel::ProgressChannel(std::string blockName)
    : blockName_(std::move(blockName)), eventName_(blockName_ + "Event") {}

void ProgressChannel::open() { mapping_ = platform::SharedMemory::openExisting(blockName_); }

void ProgressChannel::close() { mapping_ = platform::SharedMemory(); }

WideString formatProgressRecord(const WideChar* fileName, int overall, int filePercent,
                                int fileIndex, int phase) {
    WideString text(platform::wideView(fileName));
    for (int number : {overall, filePercent, fileIndex, phase}) {
        text.push_back(u'|');
        text += platform::asciiToWide(std::to_string(number));
    }
    return text;
}

void ProgressChannel::write(const WideChar* fileName, int overall, int filePercent, int fileIndex,
                            int phase) {
    if (!mapping_.isValid()) return;
    if (!view_.isValid()) {
        view_ = platform::MappedView::map(mapping_, kBlockSize);
        if (!view_.isValid()) return;
    }
    const WideString text = formatProgressRecord(fileName, overall, filePercent, fileIndex, phase);
    // Little-endian byte pairs, cut to the block (names are at most 511 units, so a record
    // always fits; the cut only guards the block's bounds).
    const size_t units = std::min(text.size(), kBlockSize / 2);
    unsigned char* out = view_.data();
    for (size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<char16_t>(text[i]);
        out[2 * i] = static_cast<unsigned char>(unit & 0xFF);
        out[2 * i + 1] = static_cast<unsigned char>(unit >> 8);
    }
    platform::NamedEvent event = platform::NamedEvent::openOrCreate(eventName_, true);
    event.signal();
}

ProgressChannel& progressChannel() {
    static ProgressChannel channel(ProgressChannel::kBlockName);
    return channel;
}

}  // namespace ks_formats

namespace ks_formats {
namespace {

// Reads "|<int>" at pos; advances pos past it.
bool readNumberField(std::basic_string_view<WideChar> text, size_t& pos, int& value) {
    if (pos >= text.size() || text[pos] != u'|') return false;
    size_t i = pos + 1;
    bool negative = false;
    if (i < text.size() && text[i] == u'-') {
        negative = true;
        ++i;
    }
    const size_t digitsStart = i;
    long long number = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && i - digitsStart < 10) {
        number = number * 10 + (text[i] - u'0');
        ++i;
    }
    if (i == digitsStart) return false;
    value = static_cast<int>(negative ? -number : number);
    pos = i;
    return true;
}

}  // namespace

bool parseProgressRecord(std::basic_string_view<WideChar> units, ProgressRecord& record) {
    const size_t end = units.find(WideChar(0));
    if (end != std::basic_string_view<WideChar>::npos) units = units.substr(0, end);
    for (size_t bar = units.find(u'|'); bar != std::basic_string_view<WideChar>::npos;
         bar = units.find(u'|', bar + 1)) {
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

}  // namespace ks_formats
