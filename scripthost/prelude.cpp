#include "scripthost/prelude.h"

namespace qorsv {
namespace {

constexpr char kCrLf[] = "\r\n";

void AppendQuoted(std::string& out, std::string_view value) {
  for (char c : value) {
    unsigned char code = static_cast<unsigned char>(c);
    if (code < 32) {
      out += "'+chr(";
      out += std::to_string(code);
      out += ")+'";
    } else if (c == '\'') {
      out += "''";
    } else {
      out += c;
    }
  }
}

// prefix + "[" + i + "]:='" + Q(value) + "'; "
void AppendAssignment(std::string& out, const char* prefix, size_t i, std::string_view value) {
  out += prefix;
  out += '[';
  out += std::to_string(i);
  out += "]:='";
  AppendQuoted(out, value);
  out += "'; ";
}

void AppendConstants(std::string& out, const PreludeValues& v) {
  out += " const uniqueecho=" + std::to_string(v.slot) + "; myip='";
  AppendQuoted(out, v.client_address);
  out += "'; myhost='";
  AppendQuoted(out, v.host_name);
  out += "'; myhostdir='";
  AppendQuoted(out, v.host_root);
  out += "'; mypath='";
  AppendQuoted(out, v.program_dir);
  out += "'; lastvisit='";
  AppendQuoted(out, v.last_visit);
  out += "'; serveruptime=" + std::to_string(v.server_uptime) + "; ";
  out += kCrLf;
  out += "localdoc='";
  AppendQuoted(out, v.document);
  out += "';";
  out += std::string(kCrLf) + "outmb=" + std::to_string(v.out_mb) + ";";
  out += std::string(kCrLf) + "outkb=" + std::to_string(v.out_kb) + ";";
  out += std::string(kCrLf) + "outgb=" + std::to_string(v.out_gb) + ";";
  out += std::string(kCrLf) + "outbytes=" + std::to_string(v.out_bytes) + ";";
  out += std::string(kCrLf) + "servedfiled=" + std::to_string(v.served_files) + ";";
  out += std::string(kCrLf) + "{$i ext.qor} ";
}

void AppendReadParams(std::string& out, const Tparams& params) {
  out +=
      "procedure readparams; \r\nbegin  params.count:=" + std::to_string(params.count()) + ";\r\n";
  for (size_t i = 1; i <= params.count(); ++i) {
    AppendAssignment(out, " params.paramname", i, params.paramname(i));
    out += kCrLf;
    AppendAssignment(out, " params.paramvalue", i, params.paramvalue(i));
    out += kCrLf;
  }
  out += " end;";
}

void AppendReadHeaders(std::string& out, const Theaders& headers) {
  out += "procedure readheaders; \r\nbegin  headers.count:=" + std::to_string(headers.count()) +
         ";\r\n";
  for (size_t i = 1; i <= headers.count(); ++i) {
    AppendAssignment(out, " headers.headername", i, headers.headername(i));
    out += kCrLf;
    AppendAssignment(out, " headers.headervalue", i, headers.headervalue(i));
    out += kCrLf;
  }
  out += " end;";
}

// The cookie procedure stays on one line.
void AppendReadCookies(std::string& out, const Tcook& cookies) {
  out += "procedure readcookies; begin  cookies.count:=" + std::to_string(cookies.count()) + ";";
  for (size_t i = 1; i <= cookies.count(); ++i) {
    AppendAssignment(out, " cookies.name", i, cookies.name(i));
    AppendAssignment(out, " cookies.value", i, cookies.value(i));
  }
  out += " end;";
}

// Room for the text of one assignment pair besides its values.
constexpr size_t kPairOverhead = 80;

size_t EstimatedSize(const RequestData& data, size_t script_size) {
  size_t size = 1024 + script_size;
  for (size_t i = 1; i <= data.params.count(); ++i) {
    size += kPairOverhead + data.params.paramname(i).size() + data.params.paramvalue(i).size();
  }
  for (size_t i = 1; i <= data.headers.count(); ++i) {
    size += kPairOverhead + data.headers.headername(i).size() + data.headers.headervalue(i).size();
  }
  for (size_t i = 1; i <= data.cookies.count(); ++i) {
    size += kPairOverhead + data.cookies.name(i).size() + data.cookies.value(i).size();
  }
  return size;
}

}  // namespace

std::string QuoteLiteral(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  AppendQuoted(out, value);
  return out;
}

std::string BuildCombinedText(const PreludeValues& values, const RequestData& data,
                              std::string_view script_text) {
  std::string out;
  out.reserve(EstimatedSize(data, script_text.size()));
  AppendConstants(out, values);
  AppendReadParams(out, data.params);
  AppendReadHeaders(out, data.headers);
  AppendReadCookies(out, data.cookies);
  for (int i = 0; i < 9; ++i) out += kCrLf;
  out += script_text;
  return out;
}

}  // namespace qorsv
