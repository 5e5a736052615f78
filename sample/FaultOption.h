#pragma once
// A fault of the sample service written as text, as the program's --fault
// option takes it: PATH-PART:KIND[:N][:times=K][:retry-after=S].
#include "sample/SampleService.h"

#include <string_view>

namespace fw::sample {

// KIND is stall, latency, http503, http429, truncated, garbage, huge or drop.
// N: milliseconds for stall and latency, bytes sent for truncated, body bytes
// for garbage and huge; not taken by the others. times=K (K >= 1): only the
// first K matching requests. retry-after=S (seconds): the Retry-After header
// of http503 and http429. PATH-PART may be empty (every request) and may hold
// ":". False, with `out` unchanged, for anything else.
bool parseFault(std::string_view text, Fault& out);

} // namespace fw::sample
