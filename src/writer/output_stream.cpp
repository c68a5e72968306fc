#include "writer/output_stream.h"

#include "writer/writer_library.h"

namespace ks_formats {
namespace {

bool streamOpen = false;

}  // namespace

int32_t startOutputStream(const WideChar* path) {
    const WriterLibrary& writer = writerLibrary();
    if (streamOpen) writer.discardStream();
    streamOpen = false;
    const int32_t result = writer.startStream(path);
    streamOpen = result == ResultSuccess;
    return result;
}

void discardOutputStream() {
    if (streamOpen) writerLibrary().discardStream();
    streamOpen = false;
}

int32_t endOutputStream() { return writerLibrary().endStream(); }

int32_t buildOutputFile() {
    streamOpen = false;
    return writerLibrary().buildNOXFile();
}

bool outputStreamOpen() { return streamOpen; }

}  // namespace ks_formats
