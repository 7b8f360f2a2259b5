#include "workbench/editor_options.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "workbench/tests/program_dir_support.h"

namespace qorsv {
namespace {

using testing::ReadFile;
using testing::WorkbenchProgramDir;

uint64_t PendingId(const EditorOptionsWindow& window) {
  return window.Dialog().Pending() ? window.Dialog().Pending()->id : 0;
}

TEST(EditorOptionsTest, RowsShowTheirButtonsAndSwatches) {
  WorkbenchProgramDir dir;
  EditorOptionsWindow window(dir.Dir());
  window.ShowModal([](bool) {});
  EXPECT_EQ(window.SelectedAttribute(), "Whitespace");
  EXPECT_TRUE(window.BackgroundButtonVisible());
  EXPECT_FALSE(window.ForegroundButtonVisible());
  EXPECT_EQ(window.BackgroundSwatch(), 0);
  EXPECT_EQ(window.SchemesDir(), dir.Path("config/Schemes/"));
  EXPECT_EQ(window.SchemeFiles(), std::vector<std::string>{"dark.pal"});

  window.ListBox1Click(2);
  EXPECT_EQ(window.SelectedAttribute(), "Reserved word");
  EXPECT_TRUE(window.ForegroundButtonVisible());
  EXPECT_EQ(window.BackgroundSwatch(), 0);
  EXPECT_EQ(window.ForegroundSwatch(), 15793151);

  // Foreground: the colour dialog starts with the swatch's colour; Cancel changes nothing.
  window.frgClick();
  ASSERT_TRUE(window.Dialog().Pending());
  EXPECT_EQ(window.Dialog().Pending()->kind, DialogKind::kColour);
  EXPECT_EQ(window.Dialog().Pending()->colour, 15793151);
  window.AnswerDialog(PendingId(window), DialogAnswer::Cancel());
  EXPECT_EQ(window.Colours().Row(2).foreground, 15793151);
  window.frgClick();
  window.AnswerDialog(PendingId(window), DialogAnswer::Colour(255));
  EXPECT_EQ(window.Colours().Row(2).foreground, 255);
  EXPECT_EQ(window.ForegroundSwatch(), 255);

  // "Whitespace": the background is the preview editor's, and Foreground does nothing.
  window.ListBox1Click(0);
  window.frgClick();
  EXPECT_FALSE(window.Dialog().IsOpen());
  window.bckClick();
  window.AnswerDialog(PendingId(window), DialogAnswer::Colour(0x202020));
  EXPECT_EQ(window.Colours().editor_background, 0x202020);
  EXPECT_EQ(window.BackgroundSwatch(), 0x202020);

  window.SetDelayPosition(5000);
  EXPECT_EQ(window.DelayPosition(), 3000);
  EXPECT_EQ(window.DelayLabel(), "3000 ms.");
  window.SetDelayPosition(20);
  EXPECT_EQ(window.DelayLabel(), "100 ms.");
}

TEST(EditorOptionsTest, ApplyCancelAndTheCloseBoxReportTheirOutcome) {
  WorkbenchProgramDir dir;
  EditorOptionsWindow window(dir.Dir());
  std::vector<bool> closes;
  auto record = [&closes](bool applied) { closes.push_back(applied); };
  window.ShowModal(record);
  window.applyClick();
  EXPECT_TRUE(window.chkapply());
  window.ShowModal(record);
  EXPECT_FALSE(window.chkapply());  // cleared before each opening
  window.Button2Click();
  window.ShowModal(record);
  window.CloseBox();
  EXPECT_FALSE(window.Visible());
  EXPECT_EQ(closes, (std::vector<bool>{true, false, false}));
}

TEST(EditorOptionsTest, SavedSchemeIsListedAndLoadsBack) {
  WorkbenchProgramDir dir;
  EditorOptionsWindow window(dir.Dir());
  window.ShowModal([](bool) {});
  window.ListBox1Click(6);
  window.frgClick();
  window.AnswerDialog(PendingId(window), DialogAnswer::Colour(0x00FF00));

  window.Button1Click();
  const DialogRequest& request = *window.Dialog().Pending();
  EXPECT_EQ(request.kind, DialogKind::kSaveFile);
  EXPECT_EQ(request.filter, "Scheme files|*.pal");
  EXPECT_EQ(request.default_extension, ".pal");
  EXPECT_EQ(request.text, "*.pal");
  EXPECT_EQ(request.directory, dir.Path("config/Schemes"));
  window.AnswerDialog(request.id, DialogAnswer::Ok(dir.Path("config/Schemes/green")));
  EXPECT_EQ(window.SchemeFile(), dir.Path("config/Schemes/green.pal"));
  EXPECT_EQ(window.SchemeFiles(), (std::vector<std::string>{"dark.pal", "green.pal"}));
  std::string saved = ReadFile(dir.Path("config/Schemes/green.pal"));
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 13);

  EditorColourSet chosen = window.Colours();
  window.FileListBox1Click("dark.pal");  // one line: the rest reads as 0
  EXPECT_EQ(window.Colours().Row(6).foreground, 0);
  EXPECT_EQ(window.ForegroundSwatch(), 0);
  window.FileListBox1Click("green.pal");
  EXPECT_EQ(window.Colours(), chosen);
  window.FileListBox1Click("../../config.xml");  // not a listed scheme
  EXPECT_EQ(window.SchemeFile(), dir.Path("config/Schemes/green.pal"));
}

TEST(EditorOptionsTest, MissingSchemeFolderIsReportedAndTheWindowStillOpens) {
  testing::TempDir dir;
  EditorOptionsWindow window(dir.Dir());
  window.ShowModal([](bool) {});
  EXPECT_TRUE(window.Visible());
  ASSERT_TRUE(window.Dialog().Pending());
  EXPECT_EQ(window.Dialog().Pending()->kind, DialogKind::kMessage);
  EXPECT_NE(window.Dialog().Pending()->prompt.find("config/Schemes"), std::string::npos);
  EXPECT_TRUE(window.SchemeFiles().empty());
}

}  // namespace
}  // namespace qorsv
