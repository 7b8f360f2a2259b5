#include "workbench/editor_text.h"

#include <gtest/gtest.h>

namespace qorsv {
namespace {

TEST(EditorTextTest, LoadedTextIsSavedWithItsLineBreaks) {
  struct Case {
    std::string bytes;
    LineBreak style;
    size_t lines;
  };
  const Case cases[] = {
      {"a\r\nb\r\n", LineBreak::kCrLf, 3}, {"a\nb", LineBreak::kLf, 2},
      {"a\rb\r", LineBreak::kCr, 3},       {"one line", LineBreak::kCrLf, 1},
      {"", LineBreak::kCrLf, 1},           {"\n\r\n", LineBreak::kLf, 3},
  };
  for (const Case& c : cases) {
    EditorText text;
    text.Load(c.bytes);
    EXPECT_EQ(text.Break(), c.style) << c.bytes;
    EXPECT_EQ(text.Lines().size(), c.lines) << c.bytes;
    if (c.bytes.find("\r\n") == std::string::npos || c.style == LineBreak::kCrLf) {
      EXPECT_EQ(text.FileText(), c.bytes);
    }
  }
  // Mixed breaks are written in the style of the first one.
  EditorText mixed;
  mixed.Load("a\nb\r\nc\rd");
  EXPECT_EQ(mixed.FileText(), "a\nb\nc\nd");
  EXPECT_EQ(mixed.PageText(), "a\nb\nc\nd");
}

TEST(EditorTextTest, EditsReplaceRangesAndAreJournalled) {
  EditorText text({"begin", "  x := 1;", "end."});
  uint64_t start = text.Revision();
  text.Apply(TextEdit{{2, 3}, {2, 4}, "total", {2, 8}, false});
  EXPECT_EQ(text.Lines(), (std::vector<std::string>{"begin", "  total := 1;", "end."}));
  text.Apply(TextEdit{{1, 6}, {3, 1}, "\r\nmid\n", {3, 1}, false});
  EXPECT_EQ(text.Lines(), (std::vector<std::string>{"begin", "mid", "end."}));
  EXPECT_EQ(text.caret(), (Caret{3, 1}));
  // Reversed and out-of-range positions are put in order and clamped.
  text.Apply(TextEdit{{9, 99}, {3, 4}, "!", {3, 5}, false});
  EXPECT_EQ(text.Line(3), "end!");

  std::optional<std::vector<TextEdit>> edits = text.EditsSince(start);
  ASSERT_TRUE(edits.has_value());
  ASSERT_EQ(edits->size(), 3u);
  EXPECT_EQ((*edits)[1].text, "\nmid\n");  // recorded with page line breaks
  EXPECT_EQ((*edits)[2].from, (Caret{3, 4}));
  EXPECT_EQ((*edits)[2].to, (Caret{3, 5}));
  EXPECT_EQ(text.EditsSince(text.Revision())->size(), 0u);
  EXPECT_FALSE(text.EditsSince(text.Revision() + 1).has_value());

  // Replaying the journal on a copy of the old text gives the new text.
  EditorText replay({"begin", "  x := 1;", "end."});
  for (const TextEdit& edit : *edits) replay.Apply(edit);
  EXPECT_EQ(replay.Lines(), text.Lines());
}

TEST(EditorTextTest, JournalForgetsOldEditsAndLargeTexts) {
  EditorText text;
  uint64_t start = text.Revision();
  for (size_t i = 0; i < EditorText::kKeptEdits + 1; ++i) {
    text.Apply(TextEdit{{1, 1}, {1, 1}, "x", {1, 2}, false});
  }
  EXPECT_FALSE(text.EditsSince(start).has_value());
  EXPECT_EQ(text.EditsSince(start + 1)->size(), EditorText::kKeptEdits);

  uint64_t before_big = text.Revision();
  std::string megabyte(1 << 20, 'a');
  for (int i = 0; i < 5; ++i) text.ReplaceAll(megabyte + std::to_string(i));
  EXPECT_FALSE(text.EditsSince(before_big).has_value());
  EXPECT_EQ(text.EditsSince(text.Revision() - 3)->size(), 3u);
  EXPECT_FALSE(text.ReplaceAll(megabyte + "4"));  // unchanged: no edit
}

}  // namespace
}  // namespace qorsv
