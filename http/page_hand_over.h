// The hand-over of a page from the dispatcher to the page processor: every GET of a file whose
// content type is "text/html", and every POST, is turned into the file that is sent back.
//
// Called on the request's connection thread.
#pragma once

#include <sys/types.h>

#include <string>

#include "scripthost/request_records.h"
#include "transport/http_records.h"

namespace qorsv {

// What the page processor gets to know about one request.
struct PageRequest {
  std::string page_path;  // the local file that was requested
  std::string document;   // the requested document (empty for the workbench's run page)
  std::string host_name;  // the "host" header's value, empty without one
  std::string host_root;  // the root directory found for the host
  pid_t thread_id = 0;    // the request's identity
  const RequestData* data = nullptr;
  const RequestInfo* request = nullptr;
  ResponseInfo* response = nullptr;
};

// Returns the path of the file to send for the page: the page processor's output file (a path
// containing "temp/qortmpscr"), which the dispatcher deletes after sending it.
std::string HandOverToPageProcessor(const PageRequest& page);

}  // namespace qorsv
