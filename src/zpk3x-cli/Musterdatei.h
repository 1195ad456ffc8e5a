#pragma once
// monitor -o with a pattern ("logs/%Y-%m/lauf-%d.csv"): a new file whenever the
// time gives another name, in folders made when the name first leads there.
#include <cstdint>
#include <string>

class Musterdatei {
 public:
  explicit Musterdatei(std::string muster) : muster_(std::move(muster)) {}
  // Only %Y %y %m %d %H %M %S %j and %% in the pattern.
  bool Gueltig() const;
  // The file for the time `zeitMs`: true when it is another than at the last
  // call, with *name the name to create (free: "-2", "-3", ... before the
  // extension when a file of that name is there) and its folders made. False
  // otherwise; *systemfehler then says why no folder could be made (0: none was
  // needed).
  bool Wechsel(std::int64_t zeitMs, std::string* name, int* systemfehler);

 private:
  std::string muster_, letzter_;
};

// Makes the missing folders of `pfad`'s folder part, as mkdir -p does. In a
// sticky, world-writable folder (/tmp) an existing folder or link is used only
// when it belongs to the caller or to that folder's owner: another user's would
// let them choose where the recording goes. False with errno.
bool OrdnerFuerDatei(const std::string& pfad);
