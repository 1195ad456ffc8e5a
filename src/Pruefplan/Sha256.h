#pragma once
// SHA-256 of a byte string as 64 lower-case hex digits: a record names the exact
// plan it ran, without a crypto library for one hash.
#include <string>

std::string Sha256Hex(const std::string& daten);
