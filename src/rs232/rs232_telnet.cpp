// Telnet decoder and encoders for the network ports (see rs232_telnet.h).
#include "rs232/rs232_telnet.h"

namespace rs232telnet {

namespace {

// Options the client takes on its own side, and those it lets the server take.
bool weSupport(unsigned char opt) { return opt == kBinary || opt == kSga || opt == kComPort; }
// Echo stays off: the device's answers must reach the program unaltered.
bool heMaySupport(unsigned char opt) { return opt == kBinary || opt == kSga; }

void append(std::string* out, unsigned char verb, unsigned char opt) {
  out->push_back(static_cast<char>(kIac));
  out->push_back(static_cast<char>(verb));
  out->push_back(static_cast<char>(opt));
}

}  // namespace

void Decoder::requestOptions() {
  us_[kBinary] = State::WantYes;
  him_[kBinary] = State::WantYes;
  us_[kComPort] = State::WantYes;
}

bool Decoder::takeLineError() {
  const bool was = lineError_;
  lineError_ = false;
  return was;
}

// Option negotiation after RFC 1143, without the queue bits: a request that does
// not change the state is not answered, and a refused option is refused only
// once, so a server that repeats itself cannot make the client talk without end.
void Decoder::option(unsigned char verb, unsigned char opt, std::string* reply) {
  const bool forUs = verb == kDo || verb == kDont;
  const bool enable = verb == kDo || verb == kWill;
  State& state = forUs ? us_[opt] : him_[opt];
  if (enable) {
    if (state == State::Yes) return;
    if (state == State::WantYes) {
      state = State::Yes;
      return;
    }
    if (forUs ? weSupport(opt) : heMaySupport(opt)) {
      state = State::Yes;
      append(reply, forUs ? kWill : kDo, opt);
    } else if (!refusedOnce_[forUs ? 0 : 1][opt]) {
      refusedOnce_[forUs ? 0 : 1][opt] = true;
      append(reply, forUs ? kWont : kDont, opt);
    }
    return;
  }
  if (forUs && opt == kComPort) comPortRefused_ = true;
  if (state == State::No) return;
  const bool acknowledge = state == State::Yes;
  state = State::No;
  if (acknowledge) append(reply, forUs ? kWont : kDont, opt);
}

void Decoder::subnegotiation() {
  if (subOverlong_ || subLength_ < 2 || sub_[0] != kComPort) return;
  const unsigned char command = sub_[1];
  const unsigned char* value = sub_ + 2;
  const std::size_t n = subLength_ - 2;
  if (command == kServerOffset + kSetBaudRate && n == 4) {
    baudReply_ = static_cast<long>((std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                                   (std::uint32_t{value[2]} << 8) | std::uint32_t{value[3]});
  } else if (command == kServerOffset + kNotifyLineState && n == 1 && (value[0] & kLineStateErrors) != 0) {
    lineError_ = true;
  }
  // Every other answer and notification is read and left alone.
}

void Decoder::feed(const unsigned char* in, std::size_t n, std::string* data, std::string* reply) {
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char b = in[i];
    switch (mode_) {
      case Mode::DataAfterCr:
        mode_ = Mode::Data;
        // Outside binary mode a server sends CR as CR NUL.
        if (b == 0) break;
        [[fallthrough]];
      case Mode::Data:
        if (b == kIac) {
          mode_ = Mode::Iac;
        } else {
          data->push_back(static_cast<char>(b));
          if (b == '\r' && him_[kBinary] != State::Yes) mode_ = Mode::DataAfterCr;
        }
        break;
      case Mode::Iac:
        if (b == kIac) {
          data->push_back(static_cast<char>(b));
          mode_ = Mode::Data;
        } else if (b >= kWill && b <= kDont) {
          verb_ = b;
          mode_ = Mode::Verb;
        } else if (b == kSb) {
          subLength_ = 0;
          subOverlong_ = false;
          mode_ = Mode::Sub;
        } else {
          mode_ = Mode::Data;  // NOP, GA, AYT and the like: nothing to do
        }
        break;
      case Mode::Verb:
        option(verb_, b, reply);
        mode_ = Mode::Data;
        break;
      case Mode::Sub:
        if (b == kIac) {
          mode_ = Mode::SubIac;
        } else if (subLength_ < kSubLimit) {
          sub_[subLength_++] = b;
        } else {
          subOverlong_ = true;
        }
        break;
      case Mode::SubIac:
        if (b == kIac) {
          if (subLength_ < kSubLimit) {
            sub_[subLength_++] = b;
          } else {
            subOverlong_ = true;
          }
          mode_ = Mode::Sub;
        } else if (b == kSe) {
          subnegotiation();
          mode_ = Mode::Data;
        } else {
          // A command inside a sub-negotiation ends it unfinished; the command counts.
          mode_ = Mode::Iac;
          --i;
        }
        break;
    }
  }
}

std::string openingNegotiation() {
  std::string out;
  append(&out, kWill, kBinary);
  append(&out, kDo, kBinary);
  append(&out, kWill, kComPort);
  return out;
}

std::string encodeData(const char* data, std::size_t n, bool binary) {
  std::string out;
  out.reserve(n + 4);
  for (std::size_t i = 0; i < n; ++i) {
    const char c = data[i];
    out.push_back(c);
    if (static_cast<unsigned char>(c) == kIac) out.push_back(c);
    if (c == '\r' && !binary) out.push_back('\0');
  }
  return out;
}

std::string comPortCommand(unsigned char command, const unsigned char* value, std::size_t n) {
  std::string out{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort), static_cast<char>(command)};
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(static_cast<char>(value[i]));
    if (value[i] == kIac) out.push_back(static_cast<char>(kIac));
  }
  out.push_back(static_cast<char>(kIac));
  out.push_back(static_cast<char>(kSe));
  return out;
}

std::string comPortCommand(unsigned char command, unsigned char value) { return comPortCommand(command, &value, 1); }

std::string comPortBaudRate(std::uint32_t baud) {
  const unsigned char value[4] = {static_cast<unsigned char>(baud >> 24), static_cast<unsigned char>(baud >> 16),
                                  static_cast<unsigned char>(baud >> 8), static_cast<unsigned char>(baud)};
  return comPortCommand(kSetBaudRate, value, 4);
}

}  // namespace rs232telnet
