#include "zpk3x-cli/Vorschlag.h"

#include <algorithm>

namespace {

// Edits (insert, delete, replace, swap of neighbours) that turn a into b.
std::size_t Abstand(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::string Vorschlag(const std::string& wort, const std::vector<std::string>& kandidaten) {
  // A word of a hundred letters is no typo of a command; it need not cost a large table.
  if (wort.empty() || wort.size() > 64) return "";
  for (const std::string& k : kandidaten) {
    if (k.rfind(wort, 0) == 0) return k;
  }
  std::string bester;
  std::size_t besterAbstand = std::max<std::size_t>(2, wort.size() / 3) + 1;
  for (const std::string& k : kandidaten) {
    const std::size_t a = Abstand(wort, k);
    if (a < besterAbstand) {
      besterAbstand = a;
      bester = k;
    }
  }
  return bester;
}
