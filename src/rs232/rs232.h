#pragma once
// Serial port layer: the platform operations the device driver builds on.
// One header for every platform: rs232_common.cpp implements it on the device
// operations of rs232_posix.cpp (termios) or rs232_win32.cpp (Win32).
//
// Ports are numbered 1 to 8. On Windows port n is COMn. Elsewhere it is the
// device file named by the environment variable ZPK3X_COM<n> when it is set
// (e.g. ZPK3X_COM1=/dev/ttyUSB0), otherwise /dev/ttyS<n-1>.
// Numbers 9 to COM_PORT_SLOTS are more ports for callers that name the device
// at every open (a library that opens many devices at once): they have no
// default device and no ZPK3X_COM<n>.
// On every platform a port may instead be a serial device server on the network:
// a device name, or ZPK3X_COM<n>, of the form tcp://HOST:PORT (raw TCP, the
// server's line settings stand) or rfc2217://HOST:PORT (the line settings are
// sent to the server). HOST is a name, an IPv4 address or an IPv6 address in
// brackets. A connection that the server closed or reset counts as a hung-up
// line (ComLineLost); the next write still connects anew.
//
// Every function is for the one user-interface thread; none of them locks.
#include <string>

// The port numbers with a default device, and all port numbers the layer keeps
// state for. Every port costs a few hundred bytes whether used or not; the
// system's limit on open files usually comes first.
enum { COM_PORTS = 8, COM_PORT_SLOTS = 1024 };

// Opens port `port` with the given line settings and queue sizes, in raw mode, no
// flow control, exclusively (a second open of the same device fails).
// deviceName "" means the default device file of the port number.
// parity: 0 none, 1 odd, 2 even. Returns 0 on success, a negative value on failure
// (port outside 1 to 8, or above 8 without a device name, unsupported setting,
// device missing, busy, ...).
int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);

// Closes the port. 0 on success, negative when the port is not open or close fails.
int CloseCom(int port);

// Sets the time-out in seconds that bounds each later read and write on the port.
// 0 on success, negative when the port is not open or the value is not positive.
int SetComTime(int port, double timeoutSeconds);

// Discard what waits in the input / output queue. 0 on success, negative on failure.
// What waits in the input is read and shown to the trace hook before it goes.
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
// line hung up, so a message can tell a lost line from a silent device; -3 when
// the abort check asked to stop). The device is read in as few calls as it
// takes: what arrived beyond the byte returned waits in the port's buffer for
// the next read or look.
int ComRdByte(int port);

// What has arrived and waits to be read, without waiting: up to `size` bytes
// into `buffer`; their number (0: nothing waits, the usual case, at the cost of
// one look), negative when the port is not open or failed (the test seam's
// Rs232Op::FlushIn failure stands for a failed look). Each byte is shown to
// the trace hook. For the look before a frame: nothing is discarded unseen.
int ComRdWaiting(int port, char* buffer, int size);

// 1 when the port's line has hung up: the device side went away (an adapter
// pulled out, the far end of a pseudo-terminal closed), so nothing more can pass
// until the port is opened again; for a network port, the server closed or reset
// the connection. 0 otherwise, and for a port that is not open. Tells a lost
// line from a silent device after a failed operation, and can be asked before
// one: it transfers nothing and does not wait.
int ComLineLost(int port);

// Baud rate the port was opened with; 0 when the port is not open.
long GetComBaudRate(int port);

// Time-out in seconds that bounds reads and writes on the port now (after any
// test override); negative when the port is not open.
double GetComTime(int port);

// --- beyond the platform library ---

// What a port name leads to: a device of this machine, raw TCP or RFC 2217;
// -1 for a name with a network prefix that is not of the form above.
// `deviceName` as for OpenComConfig ("" or null: the port number's own name).
enum { COM_KIND_LOCAL = 0, COM_KIND_TCP = 1, COM_KIND_RFC2217 = 2 };
int ComPortKind(int port, const char* deviceName);

// 1 when the open port's baud rate is fixed by someone else (raw TCP: the
// server's setting), so that opening it at another rate changes nothing.
int ComFixedRate(int port);

// Names the device behind an open port, the same for every path that leads to
// it, for locks and records: "dev:MAJOR:MINOR" for a device file,
// "tcp:HOST:PORT" for a network port. Copies it with its NUL into `buffer` and
// returns its length; -1 when the port is not open or `size` is too small.
int ComPortIdentity(int port, char* buffer, int size);

// Why the latest open or write on the calling thread failed, where the layer
// knows more than "failed" (e.g. "rfc2217://bench:2001: connection refused"); "" otherwise.
const char* ComLastError();
// Why the last OpenComConfig failed, so that a message can name device and cause.
enum ComOpenResult {
  COM_OPEN_OK = 0,
  COM_OPEN_INVALID,     // port number or line setting refused before any device was tried
  COM_OPEN_NO_DEVICE,   // no such device
  COM_OPEN_DENIED,      // the system refused access
  COM_OPEN_NOT_SERIAL,  // the device is not a serial port
  COM_OPEN_BUSY,        // another program holds the port
  COM_OPEN_SETTINGS,    // the line settings could not be made
  COM_OPEN_SYSTEM       // another refusal; *systemError holds the system's number
};
// The result of the last OpenComConfig (COM_OPEN_OK after a success) and the device
// it tried, copied NUL-terminated into `device` (cut to `size`; may be null).
ComOpenResult GetComOpenResult(char* device, int size, int* systemError);

// Sees every byte the program writes to and reads from a port, as it happens:
// `sent` 1 for written bytes, 0 for a received byte; `count` -1 for a read that
// got nothing within the time-out. Null switches it off.
// `sent` 2 is a note of the driver (ComTraceNote): `bytes` is its text.
typedef void (*ComTraceHook)(int port, int sent, const char* bytes, int count, void* context);
void SetComTrace(ComTraceHook hook, void* context);
// Tells the trace hook, if any, what the line's bytes do not show (why a check
// read goes first, a record that could not be cleared).
void ComTraceNote(int port, const char* text);

// Called on the waiting thread while a read, write or connect waits for the line:
// every 40 ms from the first 40 ms of a wait on while more than 80 ms of it are
// left, so that a program that waits on its window's thread can keep the window
// drawn. It must not use any
// port. A hook that runs past the wait's deadline makes the wait time out: what
// came meanwhile cannot be told from a late answer. Null switches it off.
typedef void (*ComWaitHook)(void);
void SetComWaitHook(ComWaitHook hook);

// Asked on the waiting thread before and during every read, write and connect
// wait, at least every 40 ms: true ends the wait at once (reads give -3), so
// that Ctrl+C or a termination request is seen within a slice, whatever the
// time-out. It must not use any port. Null switches it off.
typedef bool (*ComAbortCheck)(void);
void SetComAbortCheck(ComAbortCheck check);
// The abort check installed now (null: none).
ComAbortCheck GetComAbortCheck();
// Sets the abort check aside on the calling thread only (true), and back
// (false); calls nest. For what a stop request itself asks to be done.
void ComAbortCheckAside(bool aside);
// 1 when the abort check is installed and asks to stop now, else 0.
int ComAbortRequested();

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
// the same device finds it even when the process that wrote it was killed. Its
// text (at most 63 bytes) is the driver's own. Ports without an identity keep
// no record (false, nothing written).
// Every port of one device server shares one record (its accepters may serve
// the same line). The record fails closed: only its absence, or a record
// written before the device came to be (left for a terminal or adapter of the
// same number that is gone), says nothing is owed. A record of another user
// counts; anything at the name that cannot be read or trusted (a folder, a
// link) counts as owed, with `text` left empty.
bool ComOwedAnswerRecorded(int port, std::string* text);
// Writes the record with `text` (mode 0644: only its owner may change it);
// null removes it. Whatever else stands at the name is replaced where the system
// lets us. False when it could not be written or removed: it then still says
// what it said, and its next reader pays one check.
bool ComOwedAnswerRecord(int port, const char* text);
