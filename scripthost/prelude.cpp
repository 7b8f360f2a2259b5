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

// Appends the prelude's pieces and notes where each request value went.
class PreludeWriter {
 public:
  PreludeWriter(std::string& out, PreludeLayout* layout) : out_(out), layout_(layout) {}

  PreludeWriter& operator<<(std::string_view fixed) {
    out_ += fixed;
    return *this;
  }

  // A value in decimal, without sign or leading zeros.
  PreludeWriter& Number(uint32_t value) {
    PreludeLiteral* literal = Begin();
    out_ += std::to_string(value);
    if (literal != nullptr) {
      literal->number = value;
      literal->length = out_.size() - literal->offset;
    }
    return *this;
  }

  // A text value between single quotes, in quoted form.
  PreludeWriter& Text(std::string_view value) {
    PreludeLiteral* literal = Begin();
    out_ += '\'';
    AppendQuoted(out_, value);
    out_ += '\'';
    if (literal != nullptr) {
      literal->is_text = true;
      literal->text = value;
      literal->length = out_.size() - literal->offset;
      for (char c : value) {
        if (static_cast<unsigned char>(c) < 32) layout_->single_literals = false;
      }
    }
    return *this;
  }

  // A count or index: fixed by the request's shape, so not noted as a value.
  PreludeWriter& Count(size_t value) {
    out_ += std::to_string(value);
    return *this;
  }

  size_t size() const { return out_.size(); }

 private:
  PreludeLiteral* Begin() {
    if (layout_ == nullptr) return nullptr;
    PreludeLiteral& literal = layout_->literals.emplace_back();
    literal.offset = out_.size();
    return &literal;
  }

  std::string& out_;
  PreludeLayout* layout_;
};

// prefix + "[" + i + "]:='" + Q(value) + "'; "
void AppendAssignment(PreludeWriter& out, std::string_view prefix, size_t i,
                      std::string_view value) {
  out << prefix << "[";
  out.Count(i) << "]:=";
  out.Text(value) << "; ";
}

void AppendConstants(PreludeWriter& out, const PreludeValues& v) {
  out << " const uniqueecho=";
  out.Number(static_cast<uint32_t>(v.slot)) << "; myip=";
  out.Text(v.client_address) << "; myhost=";
  out.Text(v.host_name) << "; myhostdir=";
  out.Text(v.host_root) << "; mypath=";
  out.Text(v.program_dir) << "; lastvisit=";
  out.Text(v.last_visit) << "; serveruptime=";
  out.Number(v.server_uptime) << "; " << kCrLf << "localdoc=";
  out.Text(v.document) << ";" << kCrLf << "outmb=";
  out.Number(v.out_mb) << ";" << kCrLf << "outkb=";
  out.Number(v.out_kb) << ";" << kCrLf << "outgb=";
  out.Number(v.out_gb) << ";" << kCrLf << "outbytes=";
  out.Number(v.out_bytes) << ";" << kCrLf << "servedfiled=";
  out.Number(v.served_files) << ";" << kCrLf;
}

void AppendReadParams(PreludeWriter& out, const Tparams& params) {
  out << "procedure readparams; \r\nbegin  params.count:=";
  out.Count(params.count()) << ";\r\n";
  for (size_t i = 1; i <= params.count(); ++i) {
    AppendAssignment(out, " params.paramname", i, params.paramname(i));
    out << kCrLf;
    AppendAssignment(out, " params.paramvalue", i, params.paramvalue(i));
    out << kCrLf;
  }
  out << " end;";
}

void AppendReadHeaders(PreludeWriter& out, const Theaders& headers) {
  out << "procedure readheaders; \r\nbegin  headers.count:=";
  out.Count(headers.count()) << ";\r\n";
  for (size_t i = 1; i <= headers.count(); ++i) {
    AppendAssignment(out, " headers.headername", i, headers.headername(i));
    out << kCrLf;
    AppendAssignment(out, " headers.headervalue", i, headers.headervalue(i));
    out << kCrLf;
  }
  out << " end;";
}

// The cookie procedure stays on one line.
void AppendReadCookies(PreludeWriter& out, const Tcook& cookies) {
  out << "procedure readcookies; begin  cookies.count:=";
  out.Count(cookies.count()) << ";";
  for (size_t i = 1; i <= cookies.count(); ++i) {
    AppendAssignment(out, " cookies.name", i, cookies.name(i));
    AppendAssignment(out, " cookies.value", i, cookies.value(i));
  }
  out << " end;";
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
                              std::string_view script_text, PreludeLayout* layout) {
  std::string text;
  text.reserve(EstimatedSize(data, script_text.size()));
  PreludeWriter out(text, layout);
  AppendConstants(out, values);
  size_t head_end = out.size();
  out << "{$i ext.qor} ";
  size_t tail_begin = out.size();
  AppendReadParams(out, data.params);
  AppendReadHeaders(out, data.headers);
  AppendReadCookies(out, data.cookies);
  for (int i = 0; i < 9; ++i) out << kCrLf;
  if (layout != nullptr) {
    layout->head_end = head_end;
    layout->tail_begin = tail_begin;
    layout->tail_end = out.size();
  }
  out << script_text;
  return text;
}

}  // namespace qorsv
