#pragma once
// Serial port layer: the platform operations the device driver builds on.
// One header for every platform: rs232_common.cpp implements it on the device
// operations of rs232_posix.cpp (termios) or rs232_win32.cpp (Win32).
//
// Ports are numbered 1 to 8. On Windows port n is COMn. Elsewhere it is the
// device file named by the environment variable ZPK3X_COM<n> when it is set
// (e.g. ZPK3X_COM1=/dev/ttyUSB0), otherwise /dev/ttyS<n-1>.
//
// Every function is for the one user-interface thread; none of them locks.
#include <string>

// Opens port `port` with the given line settings and queue sizes, in raw mode, no
// flow control, exclusively (a second open of the same device fails).
// deviceName "" means the default device file of the port number.
// parity: 0 none, 1 odd, 2 even. Returns 0 on success, a negative value on failure
// (port outside 1 to 8, unsupported setting, device missing, busy, ...).
int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);

// Closes the port. 0 on success, negative when the port is not open or close fails.
int CloseCom(int port);

// Sets the time-out in seconds that bounds each later read and write on the port.
// 0 on success, negative when the port is not open or the value is not positive.
int SetComTime(int port, double timeoutSeconds);

// Discard what waits in the input / output queue. 0 on success, negative on failure.
int FlushInQ(int port);
int FlushOutQ(int port);

// Places `count` bytes into the output queue. Returns the number of bytes accepted
// (which may be fewer than count), or a negative value on failure.
int ComWrt(int port, const char* buffer, int count);

// Number of bytes still waiting in the driver's output queue: 0 once everything
// has been sent; negative when the port reports an error.
int GetOutQLen(int port);

// The next received byte (0 to 255), waiting at most the port's time-out;
// a negative value on time-out (-1) or error (-2 when the port failed or the
// line hung up, so a message can tell a lost line from a silent device).
int ComRdByte(int port);

// Baud rate the port was opened with; 0 when the port is not open.
long GetComBaudRate(int port);

// Time-out in seconds that bounds reads and writes on the port now (after any
// test override); negative when the port is not open.
double GetComTime(int port);

// The next received byte, waiting at most `seconds` (not the port's time-out, and
// no test override): for short looks at the line between transactions. The
// scripted port of the test seam never has a byte between transactions: -1.
int ComRdByteWithin(int port, double seconds);

// A name of the device behind open port `port`, the same for every path that
// reaches it (two links to one terminal agree); "" for the scripted port or a
// port that is not open. Keys what must outlive the process, such as the record below.
std::string GetComIdentity(int port);

// The record, kept beside the port's lock, that the device may still owe an
// answer to a command sent by whoever held the port before: the next opener of
// the same device finds it even when the process that wrote it was killed.
// Ports without an identity keep no record (false, nothing written).
bool ComOwedAnswerRecorded(int port);
void ComOwedAnswerRecord(int port, bool owed);
