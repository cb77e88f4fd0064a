#include "multipart_reader.h"

#include "memory_stream.h"
#include "qm/service/service.h"

#include <httplib.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace qm::service {

namespace {

// A server that is never bound: only its request reading, routing and multipart parser are used.
class Reader final : public httplib::Server {
 public:
  Reader() {
    set_payload_max_length(std::string::npos);  // the body is in memory already; its size was checked
    // The pattern has a "." so that routing's matcher is built here too (see warmHttpLibrary).
    Post(R"(/(.+))", [](const httplib::Request&, httplib::Response& res, const httplib::ContentReader& read) {
      Output& out = *tOutput;
      out.ok = read(
          [&out](const httplib::MultipartFormData& header) {
            if (out.parts.size() >= kMostParts) {
              out.tooManyParts = true;
              return false;
            }
            RecordedPart part;
            part.name = header.name;
            part.filename = header.filename;
            part.contentType = header.content_type;
            out.parts.push_back(std::move(part));
            return true;
          },
          [&out](const char* data, size_t length) {
            if (out.parts.empty()) return false;
            out.parts.back().content.append(data, length);
            return true;
          });
      res.status = 200;
    });
  }

  // `extraHeaders`: whole header lines, each ending in "\r\n".
  Multipart parse(const std::string& body, const std::string& contentType, std::vector<RecordedPart>& parts,
                  const std::string& extraHeaders = {}) {
    Output out;
    tOutput = &out;
    const std::string head = "POST /parse HTTP/1.1\r\nHost: localhost\r\nContent-Type: " + contentType +
                             "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
                             extraHeaders + "\r\n";
    MemoryStream stream(head, body);
    bool closed = false;
    const bool served = process_request(stream, true, closed, nullptr);
    tOutput = nullptr;
    if (out.tooManyParts) return Multipart::TooManyParts;
    if (!served || !out.ok) return Multipart::Refused;
    parts = std::move(out.parts);
    return Multipart::Read;
  }

 private:
  struct Output {
    bool ok = false;
    bool tooManyParts = false;
    std::vector<RecordedPart> parts;
  };
  static thread_local Output* tOutput;
};

thread_local Reader::Output* Reader::tOutput = nullptr;

Reader& TheReader() {
  static Reader reader;  // its routes are only read once built
  return reader;
}

}  // namespace

Multipart readMultipart(const std::string& body, const std::string& contentType, std::vector<RecordedPart>& parts) {
  parts.clear();
  // A Content-Type that spans lines would end the made-up request's headers early.
  if (contentType.find_first_of("\r\n") != std::string::npos) return Multipart::Refused;
  try {
    return TheReader().parse(body, contentType, parts);
  } catch (...) {
    parts.clear();
    return Multipart::Refused;
  }
}

void warmHttpLibrary() {
  // cpp-httplib is a shared library of its own, built without ThreadSanitizer. It builds some
  // function-local statics on first use (the set of method names that parse_request_line()
  // checks, the range header's regex, the multipart parser's header regex, the regex matcher's
  // constants). Their initialisation is thread-safe, but the guard's fast path sits in that
  // uninstrumented code, so a connection thread reading a static another one has just built is
  // reported as a race. One request through the same code here, before any connection is
  // served, builds them all first.
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string body =
        "--b\r\nContent-Disposition: form-data; name=\"w\"; filename=\"w.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\nw\r\n--b--\r\n";
    std::vector<RecordedPart> parts;
    TheReader().parse(body, "multipart/form-data; boundary=b", parts, "Range: bytes=0-0\r\n");
  });
}

}  // namespace qm::service
