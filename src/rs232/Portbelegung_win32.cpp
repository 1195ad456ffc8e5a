// Windows opens a COM port for one handle only: a port held elsewhere already
// fails to open, with its own reason.
#include "rs232/Portbelegung.h"

std::vector<Portinhaber> AnderePortinhaber(const std::string&) { return {}; }
