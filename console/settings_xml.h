// The element tree of the settings file and its text form: a forgiving parser and the writer.
//
// Used by the settings store (console/settings_store.h) and its fuzz target. Pure functions on
// values; safe on any thread.
//
// The writer puts every element on its own line (CR LF), two blanks of indent per level, and
// escapes "&", "<" and ">" in values; the parser decodes "&amp;", "&lt;" and "&gt;" and leaves
// every other "&" as it stands, so older files read as they always did.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qorsv {

struct XmlElement {
  std::string name;
  std::string value;
  std::vector<std::pair<std::string, std::string>> attributes;
  // In the order of creation; a new child is appended after its siblings.
  std::vector<XmlElement> children;

  // The first child whose name matches without regard to letter case, or nullptr.
  XmlElement* FindChild(std::string_view child_name);
  const XmlElement* FindChild(std::string_view child_name) const;
  // The first matching child, appended when there is none.
  XmlElement& FindOrAddChild(std::string_view child_name);
};

struct XmlDocument {
  // Everything before the root element (declaration, comments, document type), trimmed of
  // trailing white space; empty for a file without one.
  std::string prolog;
  XmlElement root{"Configuration", "", {}, {}};
};

// Deepest nesting the parser accepts; deeper input is refused rather than risking the stack.
inline constexpr int kMaxXmlDepth = 200;

// Parses a settings file. A text holding no element at all gives an empty "Configuration" root.
// Throws QorsvError naming what was expected and what was found, with the line number.
XmlDocument ParseSettingsXml(std::string_view text);

// The file's text: the prolog (or the standard declaration) and the tree, CR LF line ends.
std::string WriteSettingsXml(const XmlDocument& document);

// Names compare upper-cased, ASCII letters only.
bool SameXmlName(std::string_view a, std::string_view b);

}  // namespace qorsv
