#include "console/settings_xml.h"

#include <algorithm>

#include "transport/error.h"

namespace qorsv {
namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>";
constexpr char kLineEnd[] = "\r\n";

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Only the three entities the writer produces are decoded; any other "&" stays as written.
std::string DecodeEntities(std::string_view text, bool in_attribute) {
  struct Entity {
    std::string_view name;
    char ch;
  };
  static constexpr Entity kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    bool decoded = false;
    if (text[i] == '&') {
      for (const Entity& entity : kEntities) {
        if (entity.ch == '"' && !in_attribute) continue;
        if (text.substr(i, entity.name.size()) == entity.name) {
          out += entity.ch;
          i += entity.name.size();
          decoded = true;
          break;
        }
      }
    }
    if (!decoded) out += text[i++];
  }
  return out;
}

std::string EncodeEntities(std::string_view text, bool in_attribute) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += in_attribute ? "&quot;" : "\"";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Each run of blanks becomes one blank; tabs and line breaks stay as they are.
std::string CollapseBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out += c;
  }
  return out;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  XmlDocument Parse() {
    XmlDocument document;
    SkipMisc();
    std::string_view prolog = text_.substr(0, pos_);
    while (!prolog.empty() && IsWhite(prolog.back())) prolog.remove_suffix(1);
    document.prolog = std::string(prolog);
    if (AtEnd()) return document;
    if (Peek() != '<') Fail("\"<\"");
    document.root = XmlElement{};
    ParseElement(document.root, 1);
    SkipMisc();
    if (!AtEnd()) Fail("end of file");
    return document;
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }
  bool StartsWith(std::string_view prefix) const {
    return text_.substr(pos_, prefix.size()) == prefix;
  }
  void SkipWhite() {
    while (!AtEnd() && IsWhite(Peek())) ++pos_;
  }

  [[noreturn]] void Fail(const std::string& expected) const {
    std::string found = "end of file";
    if (!AtEnd()) {
      std::string_view rest = text_.substr(pos_, 24);
      size_t cut = rest.find_first_of("\r\n");
      if (cut != std::string_view::npos) rest = rest.substr(0, cut);
      size_t close = rest.find('>');
      if (close != std::string_view::npos) rest = rest.substr(0, close + 1);
      found = "\"" + std::string(rest) + "\"";
    }
    int line = 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + pos_, '\n'));
    throw QorsvError("Expected " + expected + " but found " + found + " at line " +
                     std::to_string(line));
  }

  void SkipPast(std::string_view terminator) {
    size_t end = text_.find(terminator, pos_);
    if (end == std::string_view::npos) Fail("\"" + std::string(terminator) + "\"");
    pos_ = end + terminator.size();
  }

  // A document type may hold an internal subset in brackets, which contains ">" itself.
  void SkipDocumentType() {
    int brackets = 0;
    for (; !AtEnd(); ++pos_) {
      char c = Peek();
      if (c == '[') ++brackets;
      if (c == ']' && brackets > 0) --brackets;
      if (c == '>' && brackets == 0) {
        ++pos_;
        return;
      }
    }
    Fail("\">\"");
  }

  // Declarations, processing instructions, comments and white space outside the root.
  void SkipMisc() {
    for (;;) {
      SkipWhite();
      if (StartsWith("<?")) {
        SkipPast("?>");
      } else if (StartsWith("<!--")) {
        SkipPast("-->");
      } else if (StartsWith("<!") && !StartsWith("<![CDATA[")) {
        SkipDocumentType();
      } else {
        return;
      }
    }
  }

  std::string ReadName(std::string_view stops) {
    size_t start = pos_;
    while (!AtEnd() && !IsWhite(Peek()) && stops.find(Peek()) == std::string_view::npos) ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

  void ParseAttribute(XmlElement& element) {
    std::string name = ReadName("=/>");
    if (name.empty()) Fail("an attribute name");
    SkipWhite();
    std::string value;
    if (!AtEnd() && Peek() == '=') {
      ++pos_;
      SkipWhite();
      if (AtEnd() || (Peek() != '"' && Peek() != '\'')) Fail("a quoted attribute value");
      char quote = Peek();
      size_t end = text_.find(quote, pos_ + 1);
      if (end == std::string_view::npos) Fail(std::string("a closing ") + quote);
      value = DecodeEntities(text_.substr(pos_ + 1, end - pos_ - 1), true);
      pos_ = end + 1;
    }
    element.attributes.emplace_back(std::move(name), std::move(value));
  }

  // Reads "<name attributes" up to and including ">" or "/>". True when the element is empty.
  bool ParseStartTag(XmlElement& element) {
    ++pos_;  // "<"
    element.name = ReadName("/>");
    if (element.name.empty()) Fail("an element name");
    for (;;) {
      SkipWhite();
      if (AtEnd()) Fail("\">\"");
      if (StartsWith("/>")) {
        pos_ += 2;
        return true;
      }
      if (Peek() == '>') {
        ++pos_;
        return false;
      }
      ParseAttribute(element);
    }
  }

  void ParseEndTag(const XmlElement& element) {
    size_t tag_start = pos_;
    pos_ += 2;  // "</"
    std::string name = ReadName(">");
    SkipWhite();
    if (AtEnd() || Peek() != '>' || !SameXmlName(name, element.name)) {
      pos_ = tag_start;
      Fail("\"</" + element.name + ">\"");
    }
    ++pos_;
  }

  void ParseElement(XmlElement& element, int depth) {
    if (depth > kMaxXmlDepth) Fail("at most " + std::to_string(kMaxXmlDepth) + " nested elements");
    if (ParseStartTag(element)) return;
    std::string text;
    for (;;) {
      SkipWhite();
      if (AtEnd()) Fail("\"</" + element.name + ">\"");
      if (StartsWith("</")) {
        ParseEndTag(element);
        break;
      }
      if (StartsWith("<!--")) {
        SkipPast("-->");
      } else if (StartsWith("<![CDATA[")) {
        size_t start = pos_ + 9;
        SkipPast("]]>");
        text.append(text_.substr(start, pos_ - 3 - start));
      } else if (StartsWith("<?")) {
        SkipPast("?>");
      } else if (Peek() == '<') {
        element.children.emplace_back();
        ParseElement(element.children.back(), depth + 1);
      } else {
        size_t end = std::min(text_.find('<', pos_), text_.size());
        text += DecodeEntities(CollapseBlanks(text_.substr(pos_, end - pos_)), false);
        pos_ = end;
      }
    }
    // Only an element whose content is text alone holds a value.
    if (element.children.empty()) element.value = std::move(text);
  }

  std::string_view text_;
  size_t pos_ = 0;
};

void WriteElement(const XmlElement& element, size_t indent, std::string& out) {
  out.append(indent, ' ');
  out += '<';
  out += element.name;
  for (const auto& [name, value] : element.attributes) {
    out += ' ';
    out += name;
    out += "=\"";
    out += EncodeEntities(value, true);
    out += '"';
  }
  if (!element.children.empty()) {
    out += '>';
    out += kLineEnd;
    for (const XmlElement& child : element.children) WriteElement(child, indent + 2, out);
    out.append(indent, ' ');
    out += "</" + element.name + ">" + kLineEnd;
  } else if (!element.value.empty()) {
    out += '>';
    out += EncodeEntities(element.value, false);
    out += "</" + element.name + ">" + kLineEnd;
  } else {
    out += "/>";
    out += kLineEnd;
  }
}

}  // namespace

bool SameXmlName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

XmlElement* XmlElement::FindChild(std::string_view child_name) {
  for (XmlElement& child : children) {
    if (SameXmlName(child.name, child_name)) return &child;
  }
  return nullptr;
}

const XmlElement* XmlElement::FindChild(std::string_view child_name) const {
  return const_cast<XmlElement*>(this)->FindChild(child_name);
}

XmlElement& XmlElement::FindOrAddChild(std::string_view child_name) {
  if (XmlElement* found = FindChild(child_name)) return *found;
  children.push_back(XmlElement{std::string(child_name), "", {}, {}});
  return children.back();
}

XmlDocument ParseSettingsXml(std::string_view text) { return Parser(text).Parse(); }

std::string WriteSettingsXml(const XmlDocument& document) {
  std::string out = document.prolog.empty() ? std::string(kDeclaration) : document.prolog;
  out += kLineEnd;
  WriteElement(document.root, 0, out);
  return out;
}

}  // namespace qorsv
