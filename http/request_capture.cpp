#include "http/request_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "transport/platform.h"
#include "transport/temp_names.h"

namespace qorsv {
namespace {

constexpr std::string_view kCrLf = "\r\n";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void CapturePairs(std::string_view text, Tparams& params) {
  size_t pos = 0;
  while (pos < text.size() && !params.Full()) {
    // An "&" separates pairs; several in a row leave no empty pairs between them.
    if (text[pos] == '&') {
      ++pos;
      continue;
    }
    size_t end = text.find('&', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view pair = text.substr(pos, end - pos);
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos) {
      params.Append(std::string(pair), std::string());
    } else {
      params.Append(std::string(pair.substr(0, eq)), DecodeParamValue(pair.substr(eq + 1)));
    }
    pos = end;
  }
}

// The text from after `opener` up to the next double quote (or the end), if opener occurs.
std::optional<std::string_view> QuotedAfter(std::string_view line, std::string_view opener) {
  size_t start = line.find(opener);
  if (start == std::string_view::npos) return std::nullopt;
  start += opener.size();
  size_t quote = line.find('"', start);
  if (quote == std::string_view::npos) quote = line.size();
  return line.substr(start, quote - start);
}

// Multipart form data as browsers send it: parts separated by the boundary line (the text up to
// the first CR), each with a Content-Disposition line, optional further header lines, an empty
// line and the data; the boundary followed by "--" closes the form.
void CaptureMultipart(const FormText& text, Tparams& params, const UploadWriter& write_upload) {
  uint64_t boundary_end = text.Find("\r", 0);
  if (boundary_end == FormText::npos || boundary_end == 0) return;
  const std::string boundary = text.Slice(0, boundary_end);
  const std::string next_boundary = std::string(kCrLf) + boundary;

  uint64_t pos = 0;
  while (!params.Full() && text.HasAt(pos, boundary)) {
    uint64_t after = pos + boundary.size();
    if (text.HasAt(after, "--")) return;  // the closing boundary
    if (!text.HasAt(after, kCrLf)) return;
    uint64_t headers_start = after + 2;
    uint64_t disposition_end = text.Find("\r", headers_start);
    if (disposition_end == FormText::npos) return;
    std::string disposition = text.Slice(headers_start, disposition_end - headers_start);
    uint64_t blank_line = text.Find("\r\n\r\n", disposition_end);
    if (blank_line == FormText::npos) return;
    uint64_t data_start = blank_line + 4;

    uint64_t data_end = text.Find(next_boundary, data_start);
    bool last = data_end == FormText::npos;
    if (last) data_end = text.size() >= data_start + 2 ? text.size() - 2 : data_start;
    FormPiece data{text, data_start, data_end - data_start};

    std::string name(QuotedAfter(disposition, "; name=\"").value_or(std::string_view()));
    std::optional<std::string_view> file_name = QuotedAfter(disposition, "\"; filename=\"");
    if (file_name) {
      std::string stored_at = write_upload(data);
      params.Append(std::move(name),
                    stored_at + "@" + std::string(*file_name) + ":" + std::to_string(data.length));
    } else {
      params.Append(std::move(name), data.Bytes());
    }
    if (last) return;
    pos = data_end + kCrLf.size();
  }
}

}  // namespace

std::string WriteUploadFileIn(const std::string& program_dir, const FormPiece& data) {
  std::string path = TempScriptNameIn(program_dir) + ".upload";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return path;
  data.WriteTo(fd);
  ::close(fd);
  return path;
}

std::string WriteUploadFile(const FormPiece& data) { return WriteUploadFileIn(ProgramDir(), data); }

std::string DecodeParamValue(std::string_view value) {
  std::string decoded;
  decoded.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '+') {
      decoded += ' ';
    } else if (c == '%') {
      if (i + 2 >= value.size()) return std::string(value);
      int high = HexDigit(value[i + 1]);
      int low = HexDigit(value[i + 2]);
      if (high < 0 || low < 0) return std::string(value);
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      decoded += c;
    }
  }
  return decoded;
}

void CaptureParams(const FormText& text, Tparams& params, const UploadWriter& write_upload) {
  params.Clear();
  if (text.size() == 0) return;
  if (text.HasAt(0, "---")) {
    CaptureMultipart(text, params, write_upload);
  } else if (text.InMemory()) {
    CapturePairs(text.Memory(), params);
  } else {
    CapturePairs(text.Slice(0, text.size()), params);
  }
}

void CaptureCookies(std::string_view text, Tcook& cookies) {
  Tcook found;
  for (;;) {
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) return;  // the table stays as it was
    size_t semi = text.find(';');
    std::string_view name = text.substr(0, eq);
    if (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    if (semi == std::string_view::npos) {
      found.Append(std::string(name), std::string(text.substr(eq + 1)));
      break;
    }
    std::string_view value = semi > eq ? text.substr(eq + 1, semi - eq - 1) : std::string_view();
    found.Append(std::string(name), std::string(value));
    text.remove_prefix(semi + 1);
  }
  cookies = std::move(found);
}

}  // namespace qorsv
