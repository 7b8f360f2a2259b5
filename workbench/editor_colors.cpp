#include "workbench/editor_colors.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/settings_store.h"
#include "transport/error.h"
#include "workbench/editor_text.h"

namespace qorsv {
namespace {

constexpr int32_t kTeal = RgbColour(0, 128, 128);
constexpr int32_t kCream = RgbColour(255, 251, 240);
constexpr int32_t kSkyBlue = RgbColour(134, 201, 223);
constexpr int32_t kOlive = RgbColour(128, 128, 0);
constexpr int32_t kYellow = RgbColour(255, 255, 0);
constexpr int32_t kMint = RgbColour(98, 236, 153);

int32_t ParseSchemeValue(const std::string& line) {
  size_t i = line.find_first_not_of(' ');
  if (i == std::string::npos) return 0;
  bool negative = false;
  if (line[i] == '-' || line[i] == '+') negative = line[i++] == '-';
  int64_t value = 0;
  bool digits = false;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    digits = true;
    // Beyond 32 bits the value is garbage anyway; keep the arithmetic defined.
    if (value < (int64_t{1} << 40)) value = value * 10 + (line[i] - '0');
  }
  if (!digits) return 0;
  if (negative) value = -value;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

}  // namespace

EditorColourSet OptionsWindowInitialColours() {
  EditorColourSet set;
  set.editor_background = kColourBlack;
  set.attributes = {AttributeColours{kColourNone, kTeal},   AttributeColours{kColourBlack, kCream},
                    AttributeColours{kColourNone, kTeal},   AttributeColours{kColourNone, kSkyBlue},
                    AttributeColours{kColourNone, kOlive},  AttributeColours{kColourNone, kYellow}};
  return set;
}

EditorColourSet WorkbenchInitialColours() {
  EditorColourSet set;
  set.editor_background = kColourBlack;
  set.attributes = {AttributeColours{kColourNone, kTeal},
                    AttributeColours{kColourNone, kColourButtonFace},
                    AttributeColours{kColourNone, kTeal},
                    AttributeColours{kColourNone, kSkyBlue},
                    AttributeColours{kColourNone, kOlive},
                    AttributeColours{kColourNone, kMint}};
  return set;
}

const std::array<const char*, 12>& AttributeColourKeys() {
  static const std::array<const char*, 12> kKeys = {
      "ComBck", "ComFrg", "KeyAttrBck", "KeyAttrFrg", "IdenBck", "IdenFrg",
      "SymBck", "SymFrg", "StrBck",     "StrFrg",     "NumBck",  "NumFrg"};
  return kKeys;
}

void ReadAttributeColourSettings(SettingsStore& settings, EditorColourSet& colours) {
  const auto& keys = AttributeColourKeys();
  for (size_t row = 0; row < colours.attributes.size(); ++row) {
    AttributeColours& attribute = colours.attributes[row];
    attribute.background = settings.ReadSettingInteger(keys[2 * row], attribute.background);
    attribute.foreground = settings.ReadSettingInteger(keys[2 * row + 1], attribute.foreground);
  }
}

void WriteColourSettings(SettingsStore& settings, const EditorColourSet& colours) {
  const auto& keys = AttributeColourKeys();
  for (size_t row = 0; row < colours.attributes.size(); ++row) {
    settings.WriteSettingInteger(keys[2 * row], colours.attributes[row].background);
    settings.WriteSettingInteger(keys[2 * row + 1], colours.attributes[row].foreground);
  }
  settings.WriteSettingInteger(kEditorColourKey, colours.editor_background);
}

std::string SchemeFileText(const EditorColourSet& colours) {
  std::string text = std::to_string(colours.editor_background) + "\r\n";
  for (const AttributeColours& attribute : colours.attributes) {
    text += std::to_string(attribute.background) + "\r\n";
    text += std::to_string(attribute.foreground) + "\r\n";
  }
  return text;
}

EditorColourSet ParseSchemeFile(const std::string& text) {
  std::vector<int32_t> values;
  std::vector<std::string> lines = SplitLines(text);
  // A final line break ends the last value; it starts no further line.
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  for (const std::string& line : lines) {
    if (values.size() == kSchemeLines) break;
    values.push_back(ParseSchemeValue(line));
  }
  values.resize(kSchemeLines, 0);
  EditorColourSet colours;
  colours.editor_background = values[0];
  for (size_t row = 0; row < colours.attributes.size(); ++row) {
    colours.attributes[row] = AttributeColours{values[1 + 2 * row], values[2 + 2 * row]};
  }
  return colours;
}

bool WriteSchemeFile(const std::string& path, const EditorColourSet& colours) {
  std::string text = SchemeFileText(colours);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << text;
  out.close();
  return static_cast<bool>(out);
}

EditorColourSet ReadSchemeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  return ParseSchemeFile(text.str());
}

std::vector<std::string> ListSchemeFiles(const std::string& dir) {
  std::error_code error;
  std::filesystem::directory_iterator entries(dir, error);
  if (error) {
    throw QorsvError("Cannot read the scheme folder \"" + dir + "\". " + error.message());
  }
  std::vector<std::string> names;
  for (const auto& entry : entries) {
    std::string name = entry.path().filename().string();
    if (name.size() < 4 || !entry.is_regular_file(error)) continue;
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".pal") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace qorsv
