// What a device server sends, in chunks of any size, through the telnet decoder:
// the first byte sets the chunk size, the rest is the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "rs232/rs232_telnet.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t chunk = data[0] % 64 + 1;
  rs232telnet::Decoder d;
  d.requestOptions();
  std::size_t dataOut = 0, replyOut = 0;
  std::string got, reply;
  for (std::size_t i = 1; i < size; i += chunk) {
    const std::size_t n = std::min(chunk, size - i);
    got.clear();
    reply.clear();
    d.feed(data + i, n, &got, &reply);
    // Decoding never makes data, and no answer is longer than the request it
    // answers, so neither can outgrow what came in.
    dataOut += got.size();
    replyOut += reply.size();
    check(dataOut <= i + n - 1);
    check(replyOut <= i + n - 1);
  }
  check(dataOut < size);
  // What the client would send back stays well-formed: every 0xFF in data doubled.
  const std::string encoded = rs232telnet::encodeData(reinterpret_cast<const char*>(data), size, d.binaryToServer());
  std::size_t ff = 0;
  for (std::size_t i = 0; i < size; ++i) ff += data[i] == 0xFF;
  check(encoded.size() >= size + ff);
  return 0;
}
