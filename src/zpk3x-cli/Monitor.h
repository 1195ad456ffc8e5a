#pragma once
// The monitor: actual values at an interval, on the terminal, as JSON lines and
// in the trend window's recording format.
#include "zpk3x-cli/Befehle.h"
#include "zpk3x-cli/Verbindung.h"

int Monitor(const Optionen& o, const Verbindung& v);
