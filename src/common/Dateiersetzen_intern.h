#pragma once
// Between the replacement's seam and its per-system implementations.
#include <cstddef>

#include "common/Dateiersetzen.h"

// True (once) when the seam armed `schritt` to fail.
bool ErsetzenSeam_SchlaegtFehl(ErsetzenSchritt schritt);
// How many of `laenge` bytes may be written; *halbFehl when the write must fail
// after them. Disarms the limit.
std::size_t ErsetzenSeam_Erlaubt(std::size_t laenge, bool* halbFehl);
