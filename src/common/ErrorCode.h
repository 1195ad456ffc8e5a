#pragma once
// Result of every operation that can fail: 0 is success, a failure is
// -(class * 1000 + site). The class picks the catalogue message, the site names
// the place in the code that reported it.
#include <cstdint>

using ErrorCode = std::int32_t;
