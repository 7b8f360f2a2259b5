// The editor's colour sets: the editor background and the background and foreground of the six
// syntax attributes, as the workbench shows them and as the editor options window keeps its own
// copy; their starting values, the settings keys that store them and the 13-line scheme files.
//
// Font styles are fixed and not part of a set: comments italic, reserved words bold, compiler
// directives bold italic.
//
// Pure functions apart from the files and the settings store; the settings functions belong to
// the UI thread (console/settings_store.h), the others may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "workbench/colour_values.h"

namespace qorsv {

class SettingsStore;

// The attribute rows of the options window's list, in order; the text is the row's identifier.
inline constexpr std::array<const char*, 7> kAttributeRows = {
    "Whitespace", "Comment", "Reserved word", "Identifier", "Symbol", "String", "Number"};

struct AttributeColours {
  int32_t background = kColourNone;
  int32_t foreground = kColourNone;
  bool operator==(const AttributeColours&) const = default;
};

struct EditorColourSet {
  int32_t editor_background = kColourBlack;
  // Comment, Reserved word, Identifier, Symbol, String, Number: rows 1 to 6.
  std::array<AttributeColours, 6> attributes;
  bool operator==(const EditorColourSet&) const = default;

  // The attribute of list row 1 to 6.
  AttributeColours& Row(int row) { return attributes[static_cast<size_t>(row - 1)]; }
  const AttributeColours& Row(int row) const { return attributes[static_cast<size_t>(row - 1)]; }
};

// The options window's own set at start: cream reserved words on black, yellow numbers.
EditorColourSet OptionsWindowInitialColours();
// The workbench's set at start, which is also the settings' defaults.
EditorColourSet WorkbenchInitialColours();

// The twelve attribute keys, background before foreground, row by row ("ComBck", "ComFrg",
// ..., "NumFrg"), and the editor background's key.
const std::array<const char*, 12>& AttributeColourKeys();
inline constexpr char kEditorColourKey[] = "EdCol";

// Reads the twelve attribute keys into the set, each with the set's value as its default.
void ReadAttributeColourSettings(SettingsStore& settings, EditorColourSet& colours);
// Writes the twelve attribute keys, then "EdCol".
void WriteColourSettings(SettingsStore& settings, const EditorColourSet& colours);

// A scheme file: 13 lines, each one colour in signed decimal and CR LF: the editor background,
// then background and foreground of each attribute in row order.
inline constexpr int kSchemeLines = 13;
std::string SchemeFileText(const EditorColourSet& colours);
// Each line gives one value, read as a decimal integer after leading blanks (the rest of the
// line ignored); a missing or malformed value is 0.
EditorColourSet ParseSchemeFile(const std::string& text);

// Writes the scheme file; false when it cannot be written (nothing is reported).
bool WriteSchemeFile(const std::string& path, const EditorColourSet& colours);
// Reads a scheme file; an unreadable file reads as thirteen zeros.
EditorColourSet ReadSchemeFile(const std::string& path);
// The "*.pal" file names in the folder (extension case ignored), sorted. Throws QorsvError when
// the folder cannot be read.
std::vector<std::string> ListSchemeFiles(const std::string& dir);

}  // namespace qorsv
