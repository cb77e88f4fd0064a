// The service's count of a request's head against cpp-httplib's own reading of the same bytes:
// wherever the library finds the headers ended, the count ends at the very same byte, however the
// bytes are split as they arrive; its bounds grow with the bytes alone.

#include "header_counter.h"
#include "memory_stream.h"

#include <httplib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

using qm::service::HeaderCounter;
using qm::service::MemoryStream;

// A server never bound: the library reads the request line and headers, and the first routing
// step notes where it stands.
class HeadReader final : public httplib::Server {
 public:
  HeadReader() {
    set_pre_routing_handler([this](const httplib::Request&, httplib::Response& res) {
      headEnd_ = stream_->at();
      res.status = 204;
      return HandlerResponse::Handled;
    });
  }
  // The bytes the library had read when its headers ended; SIZE_MAX when it refused them.
  size_t HeadEnd(const char* data, size_t size) {
    MemoryStream stream(std::string_view(data, size), {});
    stream_ = &stream;
    headEnd_ = SIZE_MAX;
    bool closed = false;
    process_request(stream, true, closed, nullptr);
    stream_ = nullptr;
    return headEnd_;
  }

 private:
  MemoryStream* stream_ = nullptr;
  size_t headEnd_ = SIZE_MAX;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the sizes of the pieces the bytes arrive in.
  const size_t piece = size_t(data[0] % 17) + 1;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;

  HeaderCounter whole, pieces;
  const size_t head = whole.Feed(bytes, length);
  size_t fed = 0;
  for (size_t at = 0; at < length && !pieces.Ended(); at += piece) fed += pieces.Feed(bytes + at, std::min(piece, length - at));
  if (fed != head || pieces.Ended() != whole.Ended() || pieces.Lines() != whole.Lines() || pieces.Bytes() != whole.Bytes())
    __builtin_trap();
  if (whole.Bytes() != head || whole.Lines() > head) __builtin_trap();
  if (whole.TooLarge() != (whole.Bytes() > qm::service::kMostHeaderBytes || whole.Lines() > qm::service::kMostHeaderLines + 1))
    __builtin_trap();

  static HeadReader reader;
  const size_t libraryEnd = reader.HeadEnd(bytes, length);
  // Where the library has read a whole head, the count ends there too.
  if (libraryEnd != SIZE_MAX && (!whole.Ended() || head != libraryEnd)) __builtin_trap();
  return 0;
}
