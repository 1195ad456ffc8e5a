#pragma once
// The simulator's end of the serial line: a pseudo-terminal whose other end the
// program opens. Splits what arrives into frames and sends answers, at once or
// at the pace of a real line.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "device.h"

namespace zpksim {

class Line {
 public:
  struct Frame {
    std::string bytes;           // without its CR
    Clock::time_point lineEnd;   // when its CR would have arrived on a real line
  };

  Line() = default;
  ~Line();
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // Creates the terminal in raw mode at `baud`. False with a message on failure.
  bool create(int baud, std::string& error);
  const std::string& path() const { return path_; }
  bool isOpen() const { return master_ >= 0; }
  int fd() const { return master_; }

  // The speed the program has set on its end (0 when unknown).
  int lineBaud() const;

  // Reads what has arrived (never blocks) and returns the completed frames.
  std::vector<Frame> receive(Clock::time_point now);

  // Talk at `baud` with 10 bits per character instead of at once.
  void setPace(bool pace) { pace_ = pace; }
  void setCharBaud(int baud) { charBaud_ = baud > 0 ? baud : 9600; }

  void send(std::string bytes, Clock::time_point notBefore);
  // Writes what is due; returns when the next byte is due, if any is waiting.
  std::optional<Clock::time_point> flush(Clock::time_point now);
  bool wantsWrite() const { return blocked_; }
  bool idle() const { return out_.empty(); }
  // Bytes sent that the program has not read yet.
  int unreadByFarEnd() const;

  // The far end goes away: the terminal disappears and the program's port dies.
  void close();

  // After a hang-up report the master is left out of poll() for a while.
  Clock::time_point quietUntil{};

 private:
  Clock::duration charTime() const;

  struct Out {
    std::string bytes;
    size_t pos = 0;
    Clock::time_point notBefore;
  };

  int master_ = -1;
  int slaveKeep_ = -1;  // keeps the terminal alive while the program has its end closed
  std::string path_;
  bool pace_ = false;
  int charBaud_ = 9600;
  std::string pending_;  // bytes of the frame being received
  Clock::time_point rxFree_{};  // when the receiving side of a real line would be free
  Clock::time_point txFree_{};
  std::deque<Out> out_;
  bool blocked_ = false;
};

}  // namespace zpksim
