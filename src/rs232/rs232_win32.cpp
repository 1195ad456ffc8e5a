// Serial port layer on the Win32 communications API: the device operations of
// rs232_platform.h. Port n is \\.\COMn.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "rs232/rs232_frist.h"
#include "rs232/rs232_platform.h"
#include "rs232/rs232_seam_internal.h"

namespace {

HANDLE handleOf(const rs232platform::Device& device) { return reinterpret_cast<HANDLE>(device.handle); }

// What a DCB asks of the line, for the seam.
Rs232LineSettings describe(const DCB& dcb) {
  Rs232LineSettings s{};
  s.dataBits = dcb.ByteSize;
  s.parity = dcb.Parity == ODDPARITY ? 1 : (dcb.Parity == EVENPARITY ? 2 : 0);
  s.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
  s.rawMode = dcb.fBinary && !dcb.fErrorChar && !dcb.fNull && !dcb.fAbortOnError;
  s.flowControl = dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX ||
                  dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE;
  // The counterpart of CLOCAL: the modem lines do not gate the data.
  s.clocal = !dcb.fOutxDsrFlow && !dcb.fDsrSensitivity;
  s.baudRate = static_cast<long>(dcb.BaudRate);
  return s;
}

// The device keeps its time-outs, so they are handed over only when they change
// (SetComTime or the seam's override).
bool applyTimeout(rs232platform::Device& device, double seconds) {
  if (device.appliedTimeout == seconds) return true;
  // Capped as on the other platforms; at least 1 ms, as 0 would mean "wait forever".
  const double ms = std::ceil(std::clamp(seconds, 0.0, 86400.0) * 1000.0);
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = 0;
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = std::max<DWORD>(1, static_cast<DWORD>(ms));
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = t.ReadTotalTimeoutConstant;
  if (!SetCommTimeouts(handleOf(device), &t)) return false;
  device.appliedTimeout = seconds;
  return true;
}

// SetCommState fails when none of the asked changes could be made, e.g. on a
// reopened pseudo-terminal under wine that already runs at this rate but forces
// 8N1. Accept the device when everything but character size and parity is as asked.
bool configuredAsAsked(HANDLE h, const DCB& asked) {
  DCB now{};
  now.DCBlength = sizeof now;
  if (!GetCommState(h, &now)) return false;
  now.ByteSize = asked.ByteSize;
  now.Parity = asked.Parity;
  const Rs232LineSettings a = describe(asked), n = describe(now);
  return a.baudRate == n.baudRate && a.stopBits == n.stopBits && a.rawMode == n.rawMode &&
         a.flowControl == n.flowControl && a.clocal == n.clocal;
}

// Windows' serial driver refuses a second open of a port by itself; wine checks no
// sharing on devices. A named object per device, held while the port is open,
// gives the same refusal there. The device is named by its file identity where
// the system gives one (two COM names may lead to one terminal under wine), else
// by its path. Null when another program holds it.
std::string deviceKey(HANDLE device, const std::string& path) {
  std::string key;
  FILE_ID_INFO id{};
  if (GetFileInformationByHandleEx(device, FileIdInfo, &id, sizeof id)) {
    key += std::to_string(id.VolumeSerialNumber);
    static const char kHex[] = "0123456789abcdef";
    for (BYTE b : id.FileId.Identifier) {
      key += kHex[b >> 4];
      key += kHex[b & 15];
    }
  } else {
    for (char c : path) key += c == '\\' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return key;
}

HANDLE claim(const std::string& key) {
  const std::string name = "Local\\zpk3x-port-" + key;
  HANDLE held = CreateMutexA(nullptr, FALSE, name.c_str());
  if (held != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(held);
    return nullptr;
  }
  return held;
}

// The owed-answer records live in the user's temporary folder.
std::string recordPath(const std::string& identity) {
  char folder[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(sizeof folder, folder);
  std::string path = n > 0 && n < sizeof folder ? std::string(folder, n) : std::string(".\\");
  return path + "zpk3x-" + identity + ".owed";
}

}  // namespace

namespace rs232platform {

bool open(int port, const char* deviceName, const LineRequest& line, Device* device) {
  const std::string path = deviceName != nullptr && deviceName[0] != '\0'
                               ? std::string(deviceName)
                               : "\\\\.\\COM" + std::to_string(port);
  // No sharing: while the port is open, every other open of it fails.
  noteOpen(path, COM_OPEN_SYSTEM);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A COM port that another program has open answers "access denied".
    noteOpen(path,
             error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? COM_OPEN_NO_DEVICE
             : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? COM_OPEN_BUSY
                                                                                  : COM_OPEN_SYSTEM,
             static_cast<int>(error));
    return false;
  }
  const std::string key = deviceKey(h, path);
  HANDLE held = claim(key);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  // GetCommState also tells a serial device from a plain file.
  if (held == nullptr || !GetCommState(h, &dcb)) {
    noteOpen(path, held == nullptr ? COM_OPEN_BUSY : COM_OPEN_NOT_SERIAL);
    CloseHandle(h);
    if (held != nullptr) CloseHandle(held);
    return false;
  }
  // The queue sizes are a recommendation the driver may round or ignore.
  SetupComm(h, static_cast<DWORD>(line.inputQueueSize), static_cast<DWORD>(line.outputQueueSize));
  dcb.BaudRate = static_cast<DWORD>(line.baudRate);
  dcb.ByteSize = static_cast<BYTE>(line.dataBits);
  dcb.Parity = line.parity == 1 ? ODDPARITY : (line.parity == 2 ? EVENPARITY : NOPARITY);
  dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  // As on the other platforms, received bytes are not checked for parity.
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  rs232seam::recordLineSettings(describe(dcb));
  if ((!SetCommState(h, &dcb) && !configuredAsAsked(h, dcb)) || !PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR)) {
    noteOpen(path, COM_OPEN_SETTINGS);
    CloseHandle(h);
    CloseHandle(held);
    return false;
  }
  *device = Device{reinterpret_cast<std::intptr_t>(h), reinterpret_cast<std::intptr_t>(held), -1.0, "dev:" + key};
  return true;
}

bool close(Device& device) {
  HANDLE h = handleOf(device);
  HANDLE held = reinterpret_cast<HANDLE>(device.hold);
  device = Device{};
  bool closed = CloseHandle(h) != 0;
  // Let go of the port only once its handle is closed.
  if (held != nullptr) CloseHandle(held);
  return closed;
}

bool flushInput(Device& device) { return PurgeComm(handleOf(device), PURGE_RXABORT | PURGE_RXCLEAR) != 0; }

bool flushOutput(Device& device) { return PurgeComm(handleOf(device), PURGE_TXABORT | PURGE_TXCLEAR) != 0; }

int write(Device& device, const char* buffer, int count, double timeoutSeconds) {
  if (!applyTimeout(device, timeoutSeconds)) return -1;
  DWORD written = 0;
  BOOL ok = WriteFile(handleOf(device), buffer, static_cast<DWORD>(count), &written, nullptr);
  if (!ok && written == 0) return -1;
  return static_cast<int>(written);
}

int outputQueueLength(Device& device) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(handleOf(device), &errors, &status)) return -1;
  return static_cast<int>(std::min<DWORD>(status.cbOutQue, INT_MAX));
}

int readSome(Device& device, unsigned char* buffer, int size, double timeoutSeconds) {
  if (size <= 0) return -1;
  const auto deadline = rs232frist::deadlineAfter(timeoutSeconds);
  rs232frist::Slices slices(deadline);
  for (;;) {
    // One slice at a time, so that a wait hook is called during a long wait.
    const int ms = slices.next();
    if (ms == rs232frist::kAbgebrochen) return -3;
    if (ms < 0 || !applyTimeout(device, ms / 1000.0)) return -1;
    DWORD got = 0;
    // With only a total time-out set, ReadFile returns with nothing read once it expires.
    if (!ReadFile(handleOf(device), buffer, 1, &got, nullptr)) return -2;
    if (got == 1) return 1;
    if (rs232frist::msUntil(deadline) == 0) return -1;
  }
}

bool lineLost(Device& device) {
  // A port that cannot even report its state has gone (the adapter was removed,
  // the driver gave up on it): on a healthy handle this call never fails.
  DWORD errors = 0;
  COMSTAT status{};
  return ClearCommError(handleOf(device), &errors, &status) == 0;
}
// A port's name outlives the adapter behind it and tells nothing of when it came.
std::string identity(const Device& device, long long* since) {
  *since = 0;
  return device.key;
}

}  // namespace rs232platform

namespace rs232platform {


bool owedAnswerRecorded(const std::string& identity, std::string* text, long long /*deviceSince*/) {
  HANDLE f = CreateFileA(recordPath(identity).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  // Only a record that is not there says nothing is owed; one that is there
  // but cannot be read counts as owed, of unknown kind ("").
  if (f == INVALID_HANDLE_VALUE) {
    const DWORD why = GetLastError();
    return why != ERROR_FILE_NOT_FOUND && why != ERROR_PATH_NOT_FOUND;
  }
  char buffer[64];
  DWORD n = 0;
  const bool read = ReadFile(f, buffer, sizeof buffer - 1, &n, nullptr) != 0;
  CloseHandle(f);
  if (read && n == 0) return false;
  text->assign(buffer, read ? n : 0);
  return true;
}

bool owedAnswerRecord(const std::string& identity, const char* text) {
  const std::string path = recordPath(identity);
  if (text == nullptr) return DeleteFileA(path.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const DWORD length = static_cast<DWORD>(std::strlen(text));
  const bool written = WriteFile(f, text, length, &n, nullptr) != 0 && n == length;
  CloseHandle(f);
  return written;
}

std::intptr_t claimNamed(const std::string& key) {
  HANDLE held = claim("net-" + key);
  return held == nullptr ? -1 : reinterpret_cast<std::intptr_t>(held);
}

void releaseNamed(std::intptr_t lock, const std::string&) {
  if (lock >= 0) CloseHandle(reinterpret_cast<HANDLE>(lock));
}

}  // namespace rs232platform
