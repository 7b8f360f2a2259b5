// Address and body parsing for the mail functions.

#include "scripthost/mail_address.h"

namespace qorsv {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(const std::string& text) {
  size_t start = 0;
  size_t end = text.size();
  while (start < end && IsBlank(text[start])) ++start;
  while (end > start && IsBlank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

bool EnclosedIn(const std::string& text, char quote) {
  return text.front() == quote && text.back() == quote;
}

// "name <address>": the address between the first "<" and the final ">".
MailAddress FromAngleForm(const std::string& text) {
  const size_t open = text.find('<');
  if (open == std::string::npos) return {};
  return {Trim(text.substr(0, open)), Trim(text.substr(open + 1, text.size() - open - 2))};
}

// "address (name)": the name between the first "(" and the final ")".
MailAddress FromCommentForm(const std::string& text) {
  const size_t open = text.find('(');
  if (open == std::string::npos) return {};
  return {Trim(text.substr(open + 1, text.size() - open - 2)), Trim(text.substr(0, open))};
}

}  // namespace

MailAddress ParseMailAddress(const std::string& text) {
  MailAddress address;
  if (!text.empty() && text.back() == '>') {
    address = FromAngleForm(text);
  } else if (!text.empty() && text.back() == ')') {
    address = FromCommentForm(text);
  } else {
    address.address = text;
  }
  std::string& name = address.name;
  while (name.size() > 1 && (EnclosedIn(name, '"') || EnclosedIn(name, '\''))) {
    name = name.substr(1, name.size() - 2);
  }
  return address;
}

std::vector<MailAddress> ParseMailAddressList(const std::string& text) {
  std::vector<MailAddress> list;
  auto add_piece = [&list](const std::string& piece) {
    const std::string trimmed = Trim(piece);
    if (!trimmed.empty()) list.push_back(ParseMailAddress(trimmed));
  };
  std::string piece;
  bool inside_quotes = false;  // an odd number of double quotes seen in the piece so far
  for (char c : text) {
    if (c == ',' && !inside_quotes) {
      add_piece(piece);
      piece.clear();
      continue;
    }
    if (c == '"') inside_quotes = !inside_quotes;
    piece += c;
  }
  add_piece(piece);
  return list;
}

std::vector<std::string> SplitBodyLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

}  // namespace qorsv
