#include "http/dispatcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "console/operator_messages.h"
#include "console/server_log.h"
#include "console/traffic_counters.h"
#include "console/workbench_link.h"
#include "http/form_text.h"
#include "http/local_path.h"
#include "http/mime_table.h"
#include "http/page_hand_over.h"
#include "http/request_capture.h"
#include "http/virtual_hosts.h"
#include "scripthost/request_records.h"
#include "transport/error.h"
#include "transport/spool_file.h"
#include "transport/temp_files.h"

namespace qorsv {

const char* const kNotFoundProductLine = "..::Torvane !::.. qOr Webserver, Linux edition. ";

namespace {

// The page keeps its misplaced closing tags as it always had them; browsers tolerate them.
constexpr const char* kNotFoundHead =
    "<html><head><title>Error</title></head><body><h1>[EN]-The file you requested was not found "
    "on this server.</body></html><br>[RO]-Fisierul specificat de dumneavoastra nu exista pe "
    "acest server.<br></h1><br>Powered by ..::qOr::.. scripting and ..::qOr::.. Webserver.<br>";
constexpr const char* kNotFoundTail = "<br>  <br> File : ?";

constexpr const char* kWorkbenchRunMarker = "-qorcompilerscript.qor";
constexpr const char* kWorkbenchWrapperName = "temp$$$.html";
constexpr const char* kPageOutputMarker = "temp/qortmpscr";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return text;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// The size of a file that can be opened for reading.
int64_t OpenFileSize(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info;
  bool ok = fd >= 0 && ::fstat(fd, &info) == 0;
  if (fd >= 0) ::close(fd);
  if (!ok) throw QorsvError("Cannot open file " + path);
  return info.st_size;
}

void CaptureHeaders(const RequestInfo& request, const std::string& id, CapturedRequest& captured) {
  const HeaderLines& lines = request.RawHeaders;
  size_t stored = std::min(lines.Count(), Theaders::kMaxEntries);
  for (size_t i = 0; i < stored; ++i) {
    std::string name = lines.NameOfLine(i);
    std::string value = lines.Values(name);
    captured.data->headers.Append(name, value);
    WriteLogLine("HEADER NAME " + name + "=" + value + "  ID=" + id + " - " + request.RemoteIP);
    if (Lower(name) == "host") {
      captured.host_root = LookupHostRoot(value);
      captured.host_name = value;
      captured.has_host = true;
    }
    // Only the exact spelling carries cookies; a later "Cookie" line repeats the first one's
    // value, since a name's value comes from its first line.
    if (name == "Cookie") CaptureCookies(value, captured.data->cookies);
  }
}

// The local path of a request, when it lies inside the host's root. A request whose document
// climbs above the root, or whose host has no root at all, has no local file.
bool InsideHostRoot(const std::string& local_path, const std::string& host_root,
                    const std::string& document) {
  if (host_root.empty() || document.find('\0') != std::string::npos) return false;
  return IsWithin(local_path, NormalisePath(host_root));
}

// The workbench's run request: the workbench's current ".qor" file is run through a wrapper page
// beside it; any other workbench file is answered as it stands.
void ResolveWorkbenchRun(std::string& local_path, std::string& document) {
  local_path = WorkbenchFileName();
  size_t slash = local_path.find_last_of('/');
  std::string directory = slash == std::string::npos ? "" : local_path.substr(0, slash + 1);
  std::string file_name = local_path.substr(directory.size());
  size_t dot = file_name.rfind('.');
  if (dot == std::string::npos || file_name.substr(dot) != ".qor") return;
  std::string wrapper = directory + kWorkbenchWrapperName;
  std::ofstream out(wrapper, std::ios::binary | std::ios::trunc);
  out << "<%qor%>onload\r\n{$i " << file_name << "}\r\n</%qor%>\r\n";
  out.close();
  if (!out) throw QorsvError("Cannot create file " + wrapper);
  local_path = wrapper;
  document.clear();
}

void AnswerNotFound(ResponseInfo& response, const std::string& local_path) {
  response.SetStatusCode(404);
  response.ContentText = NotFoundPage(local_path);
}

}  // namespace

void RemovePageOutput(const std::string& path) {
  if (!Exists(path)) return;
  RemoveTempFile(path);
  if (Exists(path) && ShowLogEnabled()) PostOperatorMessage("UPS cannotdelete -> " + path);
}

CapturedRequest CaptureRequestData(const RequestInfo& request, const std::string& thread_id) {
  CapturedRequest captured;
  if (request.SpooledParams) {
    CaptureParams(FormText(*request.SpooledParams), captured.data->params);
  } else {
    CaptureParams(request.UnparsedParams, captured.data->params);
  }
  CaptureHeaders(request, thread_id, captured);
  // A request without a "host" line is served from the "*" entry, like any unknown host.
  if (!captured.has_host) captured.host_root = LookupHostRoot("*");
  return captured;
}

std::string UnparsedParamsLogText(const RequestInfo& request) {
  if (!request.SpooledParams) return "unparsed PARMS >> \"" + request.UnparsedParams + "\"";
  const SpoolFile& spooled = *request.SpooledParams;
  return "unparsed PARMS >> \"" + FormText(spooled).Slice(0, kLoggedSpooledBytes) + "\" (" +
         std::to_string(spooled.size()) + " bytes, the first " +
         std::to_string(std::min<uint64_t>(spooled.size(), kLoggedSpooledBytes)) + " logged)";
}

std::string NotFoundPage(const std::string& local_path) {
  return std::string(kNotFoundHead) + kNotFoundProductLine + kNotFoundTail + local_path + "? ";
}

void HTTPServerCommandGet(ConnectionThread& athread, const RequestInfo& request,
                          ResponseInfo& response) {
  const std::string id = std::to_string(athread.ThreadId());
  CapturedRequest captured = CaptureRequestData(request, id);
  std::string document = request.Document;
  WriteLogLine(UnparsedParamsLogText(request) + "  ID=" + id);
  WriteLogLine("requestinfo.command:" + request.Command + " ID=" + id);
  WriteLogLine("requestinfo.requested:" + document + " ID=" + id);
  std::string local_path = NormalisePath(captured.host_root + document);
  WriteLogLine("Localdoc:" + local_path + " ID=" + id);
  if (!InsideHostRoot(local_path, captured.host_root, document)) {
    AnswerNotFound(response, local_path);
    return;
  }

  if (local_path.find(kWorkbenchRunMarker) != std::string::npos) {
    ResolveWorkbenchRun(local_path, document);
  }
  if (!document.empty() && document.back() == '/') local_path += "index.html";
  if (!IsRegularFile(local_path)) {
    AnswerNotFound(response, local_path);
    return;
  }
  response.ContentType = MimeTypeFor(local_path);

  if (request.Command == "HEAD") {
    response.SetStatusCode(200);
    response.ContentLength = OpenFileSize(local_path);
    return;
  }
  bool is_post = request.Command == "POST";
  bool is_page = is_post || (request.Command == "GET" && response.ContentType == "text/html");
  std::string send_path = local_path;
  if (is_page) {
    send_path = HandOverToPageProcessor(PageRequest{local_path, document, captured.host_name,
                                                    captured.host_root, athread.ThreadId(),
                                                    captured.data.get(), &request, &response});
  }
  uint64_t bytes = athread.ServeFile(response, send_path);
  AddTraffic(static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX)));
  if (send_path != local_path && send_path.find(kPageOutputMarker) != std::string::npos) {
    RemovePageOutput(send_path);
  }
}

}  // namespace qorsv
