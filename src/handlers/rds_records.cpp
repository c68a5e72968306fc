#include "handlers/rds_records.h"

namespace ks_formats {

bool rdsRecordLayout(const RdsHeader& header, RdsRecordLayout& layout) {
    const uint16_t version = header.formatVersion;
    const uint16_t variant = header.recordVariant;
    RdsRecordLayout result;
    result.coordinateOffset = 2147483648.0;  // 2^31
    result.hasReflectance = version >= 2;
    switch (version) {
        case 0:
            return false;
        case 1:
            result.recordSize = variant == 1 ? 25 : 24;
            result.flagsOffset = 23;
            if (variant == 0) result.coordinateOffset = 8388608.0;  // 2^23
            break;
        case 2:
            result.recordSize = variant == 1 ? 32 : variant == 2 ? 30 : 28;
            result.flagsOffset = 27;
            break;
        case 3:
            result.recordSize = 33;
            result.flagsOffset = 24;
            break;
        case 4:
        case 5:
            result.recordSize = 25;
            result.flagsOffset = 19;
            break;
        default:
            result.recordSize = 34;
            result.flagsOffset = 25;
            break;
    }
    layout = result;
    return true;
}

}  // namespace ks_formats
