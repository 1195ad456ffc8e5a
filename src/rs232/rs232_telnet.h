#pragma once
// Telnet with the com-port option (RFC 854/855/856/2217) as far as a client of a
// serial device server needs it: a decoder for what the server sends and the
// encoders for what the client sends. No input/output here, so the decoder can be
// fed any bytes (the fuzz target does); its memory stays bounded whatever it gets.
#include <cstddef>
#include <cstdint>
#include <string>

namespace rs232telnet {

constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr unsigned char kBinary = 0, kEcho = 1, kSga = 3, kComPort = 44;

// Com-port commands, client to server; the server answers with command + 100.
enum ComPortCommand : unsigned char {
  kSetBaudRate = 1,
  kSetDataSize = 2,
  kSetParity = 3,
  kSetStopSize = 4,
  kSetControl = 5,
  kNotifyLineState = 6,
  kSetLineStateMask = 10,
  kSetModemStateMask = 11,
  kPurgeData = 12,
};
constexpr unsigned char kServerOffset = 100;
// Line state bits that report a fault on the serial line: overrun, parity,
// framing, break, time-out.
constexpr unsigned char kLineStateErrors = 0x02 | 0x04 | 0x08 | 0x10 | 0x80;

class Decoder {
 public:
  // Decodes `n` received bytes: data bytes are appended to *data, the answers
  // the negotiation calls for to *reply (to be sent to the server).
  void feed(const unsigned char* in, std::size_t n, std::string* data, std::string* reply);

  // The server agreed to the com-port option (it said DO), or refused it.
  bool comPortAccepted() const { return us_[kComPort] == State::Yes; }
  bool comPortRefused() const { return comPortRefused_; }
  // Whether data from us may be sent unescaped CRs (binary mode towards the server).
  bool binaryToServer() const { return us_[kBinary] == State::Yes; }
  // The baud rate of the latest SET-BAUDRATE answer, -1 before the first.
  long baudReply() const { return baudReply_; }
  // A line state notification reported a line fault since the last call.
  bool takeLineError();
  void clearLineError() { lineError_ = false; }

  // Marks the options the client offers in openingNegotiation() as requested.
  void requestOptions();

 private:
  enum class State : unsigned char { No, WantYes, Yes };
  enum class Mode : unsigned char { Data, DataAfterCr, Iac, Verb, Sub, SubIac };

  void option(unsigned char verb, unsigned char opt, std::string* reply);
  void subnegotiation();

  Mode mode_ = Mode::Data;
  unsigned char verb_ = 0;
  State us_[256] = {};
  State him_[256] = {};
  bool refusedOnce_[2][256] = {};
  bool comPortRefused_ = false;
  bool lineError_ = false;
  long baudReply_ = -1;
  // A sub-negotiation longer than any the client understands is cut here and ignored.
  static constexpr std::size_t kSubLimit = 32;
  unsigned char sub_[kSubLimit] = {};
  std::size_t subLength_ = 0;
  bool subOverlong_ = false;
};

// What the client offers right after connecting: binary both ways and com-port control.
std::string openingNegotiation();

// Data bytes for the server: 0xFF doubled, and outside binary mode a CR followed by NUL.
std::string encodeData(const char* data, std::size_t n, bool binary);

// One com-port command with its value bytes (0xFF in them doubled).
std::string comPortCommand(unsigned char command, const unsigned char* value, std::size_t n);
std::string comPortCommand(unsigned char command, unsigned char value);
std::string comPortBaudRate(std::uint32_t baud);

}  // namespace rs232telnet
