// Feeds arbitrary bytes to the request reader as one client's request, in pieces whose size the
// first input byte chooses, and checks the fields it derives.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "http/request_reader.h"

namespace {

class PieceSource : public qorsv::ByteSource {
 public:
  PieceSource(std::string text, size_t piece) : text_(std::move(text)), piece_(piece) {}
  size_t ReadSome(char* buffer, size_t size) override {
    size_t n = std::min({size, piece_, text_.size() - pos_});
    text_.copy(buffer, n, pos_);
    pos_ += n;
    return n;
  }

 private:
  std::string text_;
  size_t piece_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t piece = 1 + data[0] % 64;
  PieceSource source(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), piece);
  try {
    std::optional<qorsv::ReadOutcome> outcome = qorsv::ReadRequest(source, "127.0.0.1");
    if (outcome && outcome->request) {
      const qorsv::RequestInfo& request = *outcome->request;
      if (request.Document.empty() || (request.Document[0] != '/' && request.Document != "*")) {
        std::abort();
      }
      if (request.RawHeaders.Count() == 0) std::abort();
      for (size_t i = 0; i < request.RawHeaders.Count(); ++i) {
        request.RawHeaders.Values(request.RawHeaders.NameOfLine(i));
      }
    }
  } catch (const qorsv::QorsvError&) {
    // Requests that are not answered.
  }
  return 0;
}
