#include "workbench/editor_colors.h"

#include <gtest/gtest.h>

#include "console/settings_store.h"
#include "console/tests/temp_dir.h"
#include "transport/error.h"

namespace qorsv {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(EditorColorsTest, ColourValuesBecomeCss) {
  struct Case {
    int32_t colour;
    std::optional<std::string> css;
  };
  const Case cases[] = {
      {0, "#000000"},
      {16777215, "#ffffff"},
      {8421376, "#008080"},       // teal: red in the lowest byte
      {15793151, "#fffbf0"},      // cream
      {10087522, "#62ec99"},
      {-2147483633, "#d4d0c8"},   // 0x8000000F, the button face
      {SystemColour(24), "#ffffe1"},
      {SystemColour(200), "#000000"},  // no such system colour
      {kColourNone, std::nullopt},
      {0x01234567, "#674523"},
  };
  for (const Case& c : cases) EXPECT_EQ(CssColour(c.colour), c.css) << c.colour;
  EXPECT_EQ(ColourFromCss("#008080"), 8421376);
  EXPECT_EQ(ColourFromCss("#FFF"), 16777215);
  EXPECT_EQ(ColourFromCss("teal"), std::nullopt);
  EXPECT_EQ(ColourFromCss("#12345g"), std::nullopt);
}

TEST(EditorColorsTest, SchemeFilesHoldThirteenLinesAndReadLeniently) {
  TempDir dir;
  EditorColourSet set = OptionsWindowInitialColours();
  set.Row(6).foreground = kColourButtonFace;
  ASSERT_TRUE(WriteSchemeFile(dir.Path("a.pal"), set));
  std::string text = ReadFile(dir.Path("a.pal"));
  EXPECT_EQ(text,
            "0\r\n536870911\r\n8421376\r\n0\r\n15793151\r\n536870911\r\n8421376\r\n"
            "536870911\r\n14666118\r\n536870911\r\n32896\r\n536870911\r\n-2147483633\r\n");
  EXPECT_EQ(ReadSchemeFile(dir.Path("a.pal")), set);

  // Leading blanks are skipped, the rest of a line ignored, missing and malformed values are 0.
  EditorColourSet short_set = ParseSchemeFile("  255 red\n-1\nblue\n65280");
  EXPECT_EQ(short_set.editor_background, 255);
  EXPECT_EQ(short_set.Row(1), (AttributeColours{-1, 0}));
  EXPECT_EQ(short_set.Row(2), (AttributeColours{65280, 0}));
  EXPECT_EQ(short_set.Row(6), (AttributeColours{0, 0}));
  EXPECT_EQ(ReadSchemeFile(dir.Path("missing.pal")), ParseSchemeFile(""));
  EXPECT_FALSE(WriteSchemeFile(dir.Path("no/such/dir/x.pal"), set));

  WriteFile(dir.Path("b.PAL"), "");
  WriteFile(dir.Path("notes.txt"), "");
  std::filesystem::create_directories(dir.Path("dir.pal"));
  EXPECT_EQ(ListSchemeFiles(dir.Dir()), (std::vector<std::string>{"a.pal", "b.PAL"}));
  EXPECT_THROW(ListSchemeFiles(dir.Path("absent/")), QorsvError);
}

TEST(EditorColorsTest, SettingsKeysInTableOrder) {
  TempDir dir;
  SettingsStore xml;
  xml.SetSettingsFile(dir.Path("config.xml"));
  EditorColourSet set = WorkbenchInitialColours();
  set.Row(3).background = 255;
  WriteColourSettings(xml, set);
  std::string file = ReadFile(dir.Path("config.xml"));
  size_t last = 0;
  for (const char* key : AttributeColourKeys()) {
    size_t at = file.find(std::string("<") + key + ">");
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_GT(at, last) << key;
    last = at;
  }
  EXPECT_NE(file.find("<IdenBck>255</IdenBck>"), std::string::npos);
  EXPECT_NE(file.find("<KeyAttrFrg>-2147483633</KeyAttrFrg>"), std::string::npos);
  EXPECT_GT(file.find("<EdCol>0</EdCol>"), last);

  EditorColourSet read = OptionsWindowInitialColours();
  ReadAttributeColourSettings(xml, read);
  EXPECT_EQ(read.attributes, set.attributes);
}

}  // namespace
}  // namespace qorsv
