#pragma once
// INI text reader and writer: sections of tagged values, integer look-ups and
// puts, and a write that replaces the target in one safe step.
// Results are the module's own codes (not ErrorCodes): negative means failure.
// A null handle, or a null text or result pointer, gives -65.

struct IniDocument;
using IniText = IniDocument*;

IniText Ini_New(int sorted);                 // null when memory is exhausted
void Ini_Dispose(IniText ini);               // null is ignored
int Ini_ReadFromFile(IniText ini, const char* path);   // 0, -5001, -5002, -12, -65
// 1 and *value set when found and valid; 0 when missing or blank; -5021 not an integer.
int Ini_GetInt(IniText ini, const char* section, const char* tag, int* value);
int Ini_PutInt(IniText ini, const char* section, const char* tag, long value);  // 0, -12, -65
// 0 or negative: -95 target not writable, -97 disk full, -93 other I/O failure,
// -5003 no free temporary name, -5004 temporary file not created, -12, -65.
int Ini_WriteToFile(IniText ini, const char* path);
