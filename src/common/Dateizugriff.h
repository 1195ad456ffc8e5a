#pragma once
// Opening files by their UTF-8 names on every system, cutting a file back to a
// length, and the system's reason for a failure as text. Dateizugriff_posix.cpp
// and Dateizugriff_win32.cpp implement it.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

// Opens an existing file for reading in binary mode ("rb"). On failure errno
// holds the reason.
std::FILE* DateiZumLesenOeffnen(const std::string& pfad);

// Creates the file or empties the one of that name, for writing in binary mode.
// A symbolic link in a sticky, world-writable folder is followed only as a
// replacement follows it (see Dateiidentitaet.h): another user's is refused with
// EACCES.
// On failure errno holds the reason.
std::FILE* DateiNeuAnlegen(const std::string& pfad);

// Cuts the open file back to `laenge` bytes and puts the write position there.
bool DateiKuerzen(std::FILE* datei, std::int64_t laenge);

// The system's reason for the errno value `fehler`, as a short text: in German
// (englisch false) for the values files, ports and sockets report, else the
// system's own English text (Systemgrund.cpp).
std::string Systemgrund(int fehler, bool englisch = true);

#ifdef _WIN32
// UTF-8 and the wide characters of the Windows API.
std::wstring BreitAusUtf8(const std::string& utf8);
std::string Utf8AusBreit(const wchar_t* breit);
// The errno value nearest to a GetLastError code.
int ErrnoAusSystemfehler(unsigned long code);
#endif
