#pragma once
// Test seam of the serial port layer. Tests use it to make each platform
// operation fail and to shorten the time-out; the program never calls it.
// With nothing armed, the layer behaves exactly as without the seam.

enum class Rs232Op { Open, Close, SetTime, FlushIn, FlushOut, Write, OutQLen, ReadByte };

// The next `count` calls of `op` fail with a negative result (after `skip`
// successful calls of that op). Write: returns -1.
void Rs232Seam_Fail(Rs232Op op, int count = 1, int skip = 0);

// The next write accepts only `bytes` bytes (a short write), once.
void Rs232Seam_ShortWrite(int bytes);

// From now on GetOutQLen reports `length` (> 0: a queue that never empties;
// < 0: a queue that reports an error), until Rs232Seam_Reset.
void Rs232Seam_OutQueue(int length);

// Overrides every time-out set by SetComTime with `seconds` (<= 0: no override).
void Rs232Seam_TimeoutOverride(double seconds);

// The line settings the layer last asked the terminal for.
struct Rs232LineSettings {
  int dataBits;
  int parity;   // 0 none, 1 odd, 2 even
  int stopBits;
  bool rawMode;
  bool flowControl;
  bool clocal;
  long baudRate;
};
Rs232LineSettings Rs232Seam_LastLineSettings();

// In-memory port without a terminal (for fuzzing and quick protocol tests): while
// armed, port `port` opens without a device file, accepts every write (kept for
// Rs232Seam_ScriptedSent), reports an empty output queue, and ComRdByte returns
// `bytes` one by one, then a time-out at once. Flushing the input queue keeps the
// script: it stands for what the device sends after the frame.
void Rs232Seam_ScriptPort(int port, const char* bytes, int count);

// Copies up to `size` bytes the scripted port was given by ComWrt into `buffer`;
// returns how many were written in total since the script was armed.
int Rs232Seam_ScriptedSent(char* buffer, int size);

// Disarms everything above.
void Rs232Seam_Reset();
