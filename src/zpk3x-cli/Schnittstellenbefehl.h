#pragma once
// `zpk3x-cli ports`: the machine's serial ports as text or JSON.
#include "zpk3x-cli/Befehle.h"

int Schnittstellen(const Optionen& o);
