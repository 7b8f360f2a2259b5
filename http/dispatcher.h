// The request dispatcher HTTPServerCommandGet: for every GET, POST and HEAD it captures the
// request data, finds the host's root directory and the local file, and answers with the file,
// its header only (HEAD), the page processor's output, or the built-in 404 page. It recognises
// the workbench's run request and counts what it sends into the traffic counters.
//
// Runs on the request's connection thread, many at once; it shares only the log, the traffic
// counters and the host and MIME tables, each of which guards itself.
#pragma once

#include <string>

#include "http/connection_thread.h"
#include "transport/http_records.h"

namespace qorsv {

void HTTPServerCommandGet(ConnectionThread& athread, const RequestInfo& request,
                          ResponseInfo& response);

// The body of the 404 answer for a local path.
std::string NotFoundPage(const std::string& local_path);

// The product line of the 404 page.
extern const char* const kNotFoundProductLine;

}  // namespace qorsv
