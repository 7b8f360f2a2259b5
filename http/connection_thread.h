// AThread: what the dispatcher knows of the connection thread that serves its request: the
// thread's kernel id (the request's identity, logged as "ID=") and the way to stream a file to
// the client.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "http/response_writer.h"

namespace qorsv {

class ConnectionThread {
 public:
  ConnectionThread(pid_t thread_id, ResponseWriter& writer)
      : thread_id_(thread_id), writer_(writer) {}

  pid_t ThreadId() const { return thread_id_; }

  // Streams the file with the header; returns the bytes sent.
  uint64_t ServeFile(ResponseInfo& response, const std::string& path) {
    return writer_.ServeFile(response, path);
  }

 private:
  pid_t thread_id_;
  ResponseWriter& writer_;
};

}  // namespace qorsv
