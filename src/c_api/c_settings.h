#pragma once
// The settings of a batch by their C keys (ksf_setting): each read and written through the
// batch's own C++ setters and getters, as a double.
#include <cstdint>

#include "c_api/c_batch.h"

namespace ks_formats::c_api {

// Raise a Refusal for an unknown key or a value the setting cannot take.
void setSetting(CBatch& batch, int32_t setting, double value);
double getSetting(const CBatch& batch, int32_t setting);

}  // namespace ks_formats::c_api
