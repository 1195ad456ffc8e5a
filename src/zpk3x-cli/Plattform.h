#pragma once
// The few things the command line needs from the operating system beyond the
// standard library. Plattform_posix.cpp and Plattform_win32.cpp implement them.

// Makes the console show the command's UTF-8 texts (umlauts) as they are; nothing
// to do where terminals take UTF-8 anyway.
void AusgabeEinrichten();

// True when standard output (1) or standard error (2) is a terminal.
bool IstTerminal(int stream);

// From now on Ctrl+C (and a termination request) only sets a flag that
// AbbruchVerlangt() reports, so a running loop can end cleanly.
void AbbruchAbfangen();
bool AbbruchVerlangt();

// The user's interface language is German: on Windows, whose programs take the
// language from it when no variable names one; elsewhere false.
bool OberflaecheDeutsch();

// The arguments in UTF-8, as every file name is handled inside. On Windows they
// come from the wide command line: the narrow ones arrive in the ANSI code page,
// where an umlaut is lost. Elsewhere `argv` itself. Valid until the process ends.
char** ArgumenteInUtf8(int argc, char** argv);

// A write beyond the file-size limit fails (EFBIG) and is reported like any
// other failed write, instead of the signal ending the process without a word
// and leaving a temporary file behind. Nothing to do where there is no such limit.
void DateigrenzeAlsFehler();
// Standard input (0) or output (1) passes bytes unchanged from now on, for
// binary program files through "-"; nothing to do where streams do not translate.
void StromBinaer(int stream);
// The exit status of the request, as a shell reports a process ended by the
// signal: 130 for Ctrl+C (SIGINT), 143 for SIGTERM (on Windows: Ctrl+Break or
// closing the console); 0 while none came.
int AbbruchStatus();
