#pragma once
// Starts the device simulator (zpk3x-sim) on a pseudo-terminal for a test, maps
// it to a COM port number, controls its behaviour and reads its frame log.
//
// Control commands (one line each, answered with "ok" or "error ..."):
//   fault nak <CMD>        answer NAK to frames with command <CMD> (e.g. C1W, PNS, DF1, IDR)
//   fault can <CMD>        answer CAN
//   fault silence <CMD>    no answer at all ("*" for every command)
//   fault err <CMD>        read answers "#<a><CMD>err" + CR
//   fault echo <CMD>       read answers echo a wrong command
//   fault garbage <CMD>    answer with garbage bytes instead of ACK
//   fault nonumber <CMD>   read answers carry no number
//   fault after <N> silence  answer the first N frames, then stay silent
//   fault delay <ms>       wait before every answer
//   fault late <CMD> <ms>  answer <CMD> this much later (added to "delay")
//   fault twice <CMD> [ms] send the answer to <CMD> a second time, 50 ms (or ms) later
//   fault hangup <N>       close the line's far end after N frames
//   fault none             clear all faults
//   status <hex>           set the status word
//   value <CMD> <text>     answer reads of <CMD> (C0R, V0R, ...) with this value text
//   program <n> <stromkurve> <strom1> <strom2> <zeit1> <zeit2> <frequenz> <spannung>
//           <zyklen> <regelgeschwindigkeit> <endstuferegeln>   (n 0: working parameters)
//   dump                   answer: "program <n> ..." for n 0..16 (same field order,
//                          values as the device would send them), "status <hex>",
//                          "address <c>", "baud <n>", then "ok"
//   address <c> / baud <n> change the device's address or baud rate
//   shape sag <factor> [<after ms>]    actual current times factor from that time into the process
//   shape overshoot <fraction> <ms>    actual current times (1 + fraction) until then
//   shape raise <hex> [<after ms>]     status bits ORed into the status word from then on
//   shape none                         the current follows the program again ("fault none" keeps shapes)
// More commands and details:
//   sync                   "ok" once everything sent to the line before has been
//                          received, logged and executed (frames() uses it)
//   drain                  as sync, and "ok" only once every answer owed (also one
//                          made late by "delay", "late" or "twice") has been
//                          written to the line; later commands of the same client
//                          wait for it (drain() uses it)
//   identity <word>        the identity text answered to IDR (default OLQ-ZPK3X-SIM)
//   value <CMD>            without a text: answer reads of <CMD> normally again
//   In texts of value/identity, \xHH stands for the byte HH. <CMD> "*" in a fault
//   means every command without a fault of its own. A frame answered by nak, can,
//   garbage or silence, and every frame after "after <N> silence" ran out, is not
//   executed. err, nonumber and echo change read answers only; echo answers reads
//   with "X" in place of the command's first letter and IDR with the next address.
//   "fault none" also drops value overrides. After "hangup" the terminal is gone for
//   good (the link stays, dangling).
// Faults and the other commands can be given at start as options: --fault "nak C1W",
// --command "status 201", --error-bits 201, --programs FILE ("program n ..." lines).
// "after" counts frames to the device's own address; "hangup" counts every frame.
// The frame log holds every frame the line carried (also those at a wrong baud rate
// or for another address) and writes bytes outside printable ASCII (and "\") as \xHH.
#include <string>
#include <vector>

namespace simtest {

struct SimOptions {
  char address = '1';
  int baud = 9600;
  bool pace = false;                    // talk at the speed of the baud rate
  std::vector<std::string> extraArgs;   // more command-line options for the simulator
};

class Simulator {
 public:
  explicit Simulator(const SimOptions& options = SimOptions());
  ~Simulator();  // stops the simulator
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Running and its terminal is ready, and the last control() was answered "ok".
  bool ok() const;
  const std::string& ptyPath() const;     // the terminal the program opens
  void mapToCom(int port) const;          // sets ZPK3X_COM<port> to ptyPath()
  std::vector<std::string> frames();      // frames received so far, each without its CR
  void clearFrames();                     // frames() then shows only later frames
  // Waits until every answer the device owes has been written to the line, so that
  // a test waits for a late answer instead of sleeping; false if it did not come.
  bool drain();
  // Sends one control command; returns the reply lines without the final "ok",
  // or an empty list with ok()==false on "error".
  std::vector<std::string> control(const std::string& command);

 private:
  struct Impl;
  Impl* impl_;
};

// Path of the simulator executable built with the tests.
std::string simulatorPath();

}  // namespace simtest
