// Windows has no read-ahead request that returns at once: the sequential hint is given when the
// file is opened, and the system's own read-ahead does the rest.
#include "ks_common/read_ahead.h"

namespace ks_common {

void adviseSequentialReading(int) {}
void adviseSequentialReading(std::FILE*) {}
void readAhead(int, uint64_t, uint64_t) {}
void readAhead(std::FILE*, uint64_t, uint64_t) {}

}  // namespace ks_common
