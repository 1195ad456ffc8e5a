#pragma once
// Test seam of the program file writer: makes the steps of a save fail, since
// tests run with rights that no permission bit stops. The program never calls it;
// with nothing armed the writer behaves exactly as without the seam.

enum class DateiOp { Create, Write, Sync, Close, Rename };

// The next call of `op` fails.
void DateiSeam_Fail(DateiOp op);
// The next save writes only `bytes` bytes of the image and then fails (a disk
// that fills up half-way).
void DateiSeam_WriteLimit(int bytes);
// Disarms everything above.
void DateiSeam_Reset();
