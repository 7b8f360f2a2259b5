// In-memory stand-ins for a client connection: a source that hands out a fixed text in small
// pieces, and a sink that keeps what was written.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <string>

#include "transport/socket.h"

namespace qorsv {

class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string text, size_t piece = 7) : text_(std::move(text)), piece_(piece) {}
  size_t ReadSome(char* buffer, size_t size) override {
    size_t n = std::min({size, piece_, text_.size() - pos_});
    text_.copy(buffer, n, pos_);
    pos_ += n;
    return n;
  }
  size_t Consumed() const { return pos_; }

 private:
  std::string text_;
  size_t piece_;
  size_t pos_ = 0;
};

class StringSink : public ByteSink {
 public:
  void Write(std::string_view data, bool) override {
    out.append(data);
    ++writes;
  }
  uint64_t SendFile(int fd, uint64_t count) override {
    ++send_files;
    uint64_t total = 0;
    char buffer[4096];
    while (total < count) {
      ssize_t got = ::read(fd, buffer, std::min<uint64_t>(sizeof buffer, count - total));
      if (got <= 0) break;
      out.append(buffer, static_cast<size_t>(got));
      total += static_cast<uint64_t>(got);
    }
    return total;
  }
  std::string out;
  int writes = 0;
  int send_files = 0;
};

}  // namespace qorsv
