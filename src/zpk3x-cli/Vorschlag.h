#pragma once
// The nearest known word to a mistyped one, for "unknown command ... did you mean".
#include <string>
#include <vector>

// The candidate that `wort` begins or that is fewest edits away (at most a third
// of the word's length, at least 2); empty when none is close.
std::string Vorschlag(const std::string& wort, const std::vector<std::string>& kandidaten);
