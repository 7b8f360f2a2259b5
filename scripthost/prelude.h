// The prelude the script runner puts in front of every script: constants that describe the
// request, the server and its traffic, the include of ext.qor, and the procedures readparams,
// readheaders and readcookies that fill the script's records with the request's form fields,
// header lines and cookies. Texts are placed in single-quoted literals in quoted form.
//
// The combined text is built byte for byte as scripts and the workbench listing expect it:
// everything up to the nine closing line breaks occupies the first lines of the compiled text,
// and the script's own lines follow.
//
// Pure functions; callable from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scripthost/request_records.h"

namespace qorsv {

// A text in quoted form for a single-quoted literal: a single quote is doubled, a character
// below 32 becomes '+chr(code)+', everything else (bytes from 128 on too) is copied.
std::string QuoteLiteral(std::string_view value);

// What the prelude's constants describe.
struct PreludeValues {
  int slot = 0;                // uniqueecho
  std::string client_address;  // myip
  std::string host_name;       // myhost
  std::string host_root;       // myhostdir
  std::string program_dir;     // mypath
  std::string last_visit;      // lastvisit
  uint32_t server_uptime = 0;  // serveruptime, in minutes
  std::string document;        // localdoc
  uint32_t out_mb = 0;
  uint32_t out_kb = 0;
  uint32_t out_gb = 0;
  uint32_t out_bytes = 0;
  uint32_t served_files = 0;  // servedfiled
};

// Where the prelude placed one of the request's values: a decimal number or a quoted text.
struct PreludeLiteral {
  size_t offset = 0;  // of the first digit or the opening quote
  size_t length = 0;  // of the whole literal, quotes included
  bool is_text = false;
  uint32_t number = 0;
  std::string text;  // the value itself, unquoted
};

// The places of the prelude's values, for compiling one program that serves every request of
// the same shape (see late_binding.h).
struct PreludeLayout {
  std::vector<PreludeLiteral> literals;  // in text order
  size_t head_end = 0;                   // where the include directive of ext.qor begins
  size_t tail_begin = 0;                 // where "procedure readparams" begins
  size_t tail_end = 0;                   // where the script text begins
  // False when some value holds a character below 32: its quoted form is an expression, not
  // one literal.
  bool single_literals = true;
};

// The prelude followed by the script text; `layout`, when given, receives where the values went.
std::string BuildCombinedText(const PreludeValues& values, const RequestData& data,
                              std::string_view script_text, PreludeLayout* layout = nullptr);

}  // namespace qorsv
