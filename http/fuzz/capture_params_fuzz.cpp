// Parses arbitrary text as a request's parameters, pairs or multipart form data. Uploads are
// kept in memory, so no file is written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/request_capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t uploaded = 0;
  qorsv::Tparams params;
  qorsv::CaptureParams(text, params, [&](const qorsv::FormPiece& upload) {
    uploaded += upload.Bytes().size();
    return std::string("/fuzz/upload");
  });
  if (uploaded > size) std::abort();
  for (size_t i = 1; i <= params.count(); ++i) {
    if (params.paramname(i).size() > size || params.paramvalue(i).size() > size + 64) std::abort();
  }
  return 0;
}
