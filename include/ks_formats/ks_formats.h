#pragma once

// Everything a host may call: include this one header.
#include "ks_formats/api.h"
#include "ks_formats/batch_options.h"
#include "ks_formats/diagnostics.h"
#include "ks_formats/export.h"
#include "ks_formats/feedback.h"
#include "ks_formats/format_capabilities.h"
#include "ks_formats/import_batch.h"
#include "ks_formats/nox_records.h"
#include "ks_formats/scan_info.h"
#include "ks_formats/types.h"
