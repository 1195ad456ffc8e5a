#pragma once
// The program file's binary image: 1408 bytes, little-endian, field by field.
// No window and no file access here, so the image can be checked on its own.
#include <cstddef>
#include <cstdint>

#include "common/ErrorCode.h"
#include "common/ProgramRecord.h"

constexpr std::size_t PROGRAMMDATEI_GROESSE = 1408;
constexpr std::int32_t PROGRAMMDATEI_VERSION = 1;

// Builds the image of `table` (PROGRAMM_SLOTS records) with the selected slot.
void ProgrammdateiBauen(const ProgramRecord* table, int index, unsigned char* image);

// Checks and decodes the first `length` bytes of a file. On 0 the table and the
// selection are filled (a selection outside the table reads as 0); on a failure
// nothing is written except *version, which holds the version found when the
// result is the wrong-version code.
ErrorCode ProgrammdateiLesen(const unsigned char* data, std::size_t length, ProgramRecord* table, int* index,
                             std::int32_t* version);

constexpr ErrorCode PROGRAMMDATEI_ZU_KURZ = -304105;
constexpr ErrorCode PROGRAMMDATEI_FALSCHER_TYP = -302106;
constexpr ErrorCode PROGRAMMDATEI_FALSCHE_VERSION = -303107;
