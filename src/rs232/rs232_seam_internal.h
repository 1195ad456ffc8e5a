#pragma once
// What the serial layer asks of its test seam. Each hook is a no-op or says
// "not armed" unless a test armed it.
#include "rs232/rs232_seam.h"

namespace rs232seam {

// True when the next call of `op` is to fail (uses up one armed failure).
bool takeFailure(Rs232Op op);
// Bytes the next write may accept, or -1 when no short write is armed (used up).
int takeShortWrite();
// True and the length to report when an output queue length is armed.
bool outQueueOverride(int* length);
// The time-out override in seconds, <= 0 when none.
double timeoutOverride();
void recordLineSettings(const Rs232LineSettings& settings);

// The scripted in-memory port.
bool isScripted(int port);
int scriptedRead(int port);
int scriptedWrite(int port, const char* buffer, int count);

}  // namespace rs232seam
