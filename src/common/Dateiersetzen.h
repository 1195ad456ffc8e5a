#pragma once
// Replaces a whole file with new content through a temporary file beside it, so
// the old content stays whole until the new one is complete on disk, and keeps
// what makes it that file: a symbolic link stays a link to it, and the new file
// takes the old one's mode, owner and group. The operator window's program file
// save and the command line's output files both write through it.
#include <cstddef>
#include <string>

enum class Ersetzt {
  Ja,
  // The target cannot be written (a folder, device, fifo, a file that may not be
  // written, a link chain that loops) or no file could be made: nothing changed.
  NichtMoeglich,
  // Writing failed; the old file is untouched, except after writing in place.
  Schreibfehler,
};

enum class Ersetzungsart {
  // Where a replacement would make the file another one (its owner cannot be
  // kept, other hard links share it, the folder may not be written) it is
  // written in place instead, which a failure half-way leaves partly written.
  IdentitaetZuerst,
  // Always replaced in one step, never half-written: owner and group are kept
  // as far as the process may set them, a hard link to the old file keeps the
  // old content, and a folder that may not be written is a failure.
  NurAtomar,
};

// On failure, *systemfehler (where given) takes the system's reason as an errno
// value (EFBIG past a file-size limit, ENOSPC on a full disk, EACCES for a link
// that may not be followed), so a message can name it.
Ersetzt DateiErsetzen(const std::string& ziel, const void* daten, std::size_t laenge, Ersetzungsart art,
                      int* systemfehler = nullptr);

// Test seam: makes the steps of a replacement fail, since tests run with rights
// that no permission bit stops. With nothing armed it changes nothing.
enum class ErsetzenSchritt { Anlegen, Schreiben, Sync, Schliessen, Umbenennen };
// The next `schritt` fails.
void ErsetzenSeam_Fail(ErsetzenSchritt schritt);
// The next replacement writes only `bytes` bytes and then fails (a disk that
// fills up half-way).
void ErsetzenSeam_WriteLimit(int bytes);
void ErsetzenSeam_Reset();
