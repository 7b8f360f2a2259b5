// The request dispatcher HTTPServerCommandGet: for every GET, POST and HEAD it captures the
// request data, finds the host's root directory and the local file, and answers with the file,
// its header only (HEAD), the page processor's output, or the built-in 404 page. It recognises
// the workbench's run request and counts what it sends into the traffic counters.
//
// Runs on the request's connection thread, many at once; it shares only the log, the traffic
// counters and the host and MIME tables, each of which guards itself.
#pragma once

#include <memory>
#include <string>

#include "http/connection_thread.h"
#include "scripthost/request_records.h"
#include "transport/http_records.h"

namespace qorsv {

// What the request tells before its file is looked for: the request records, and the host
// named by the "host" header line with the root directory found for it.
struct CapturedRequest {
  std::unique_ptr<RequestData> data = std::make_unique<RequestData>();
  bool has_host = false;
  std::string host_name;
  std::string host_root;
};

// Captures the parameters, the header lines (logging each) and the cookies of a request and
// looks up its host's root. A request without a "host" line gets the root of the "*" entry.
CapturedRequest CaptureRequestData(const RequestInfo& request, const std::string& thread_id);

// Deletes a page's temporary output after it was sent; one that stays is reported to the
// operator while `showlog` is on.
void RemovePageOutput(const std::string& path);

void HTTPServerCommandGet(ConnectionThread& athread, const RequestInfo& request,
                          ResponseInfo& response);

// The text of the "unparsed PARMS >> " log line before its "  ID=": the parameters between double
// quotes. Of a spooled upload only the first kLoggedSpooledBytes are logged, followed by the
// full length: the whole file in the log would cost its size in memory and in every log file.
std::string UnparsedParamsLogText(const RequestInfo& request);
inline constexpr uint64_t kLoggedSpooledBytes = 4096;

// The body of the 404 answer for a local path.
std::string NotFoundPage(const std::string& local_path);

// The product line of the 404 page.
extern const char* const kNotFoundProductLine;

}  // namespace qorsv
