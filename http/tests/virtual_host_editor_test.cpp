#include "http/virtual_host_editor.h"

#include <gtest/gtest.h>

#include "http/tests/temp_program_dir.h"

namespace qorsv {
namespace {

class VirtualHostEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("config/hosts.dat", "*\r\n($root)web/\r\nalpha\r\n/srv/alpha/\r\n");
    editor_.ReadAndShowHosts();
  }

  std::string File() const { return dir_.Read("config/hosts.dat"); }

  TempProgramDir dir_;
  VirtualHostTable table_{dir_.path()};
  VirtualHostEditor editor_{table_};
};

TEST_F(VirtualHostEditorTest, EditNeedsASelectedLine) {
  EXPECT_FALSE(editor_.Edit());
  EXPECT_FALSE(editor_.EditorVisible());
  editor_.Select(5);  // beyond the list
  EXPECT_FALSE(editor_.SelectedLine().has_value());
}

TEST_F(VirtualHostEditorTest, EditThenApplySavesAndShows) {
  editor_.Select(1);
  ASSERT_TRUE(editor_.Edit());
  EXPECT_TRUE(editor_.EditorVisible());
  EXPECT_EQ(editor_.Hname(), "alpha");
  EXPECT_EQ(editor_.Hrootdir(), "/srv/alpha/");
  EXPECT_EQ(editor_.EditedEntry(), 2u);
  editor_.SetHname("beta");
  editor_.SetHrootdir("/srv/beta/");
  editor_.Apply();
  EXPECT_FALSE(editor_.EditorVisible());
  EXPECT_EQ(File(), "*\r\n($root)web/\r\nbeta\r\n/srv/beta/\r\n");
  EXPECT_EQ(editor_.HostList()[1], "HOST [beta] mapped to [/srv/beta/] dir");
  EXPECT_EQ(table_.LookupHostRoot("BETA"), "/srv/beta/");
}

TEST_F(VirtualHostEditorTest, NewEntryIsLiveAtOnceAndReachesTheFileWithTheNextSave) {
  ASSERT_TRUE(editor_.New());
  EXPECT_EQ(editor_.SelectedLine(), 2u);
  EXPECT_TRUE(editor_.EditorVisible());
  EXPECT_EQ(editor_.Hname(), "*");
  EXPECT_EQ(editor_.Hrootdir(), "select root directory");
  editor_.Discard();
  // The new "*" entry is the later one, so it is now the default root.
  EXPECT_EQ(table_.LookupHostRoot("other"), "select root directory");
  EXPECT_EQ(File(), "*\r\n($root)web/\r\nalpha\r\n/srv/alpha/\r\n");
  editor_.Select(1);
  ASSERT_TRUE(editor_.Edit());
  editor_.Apply();
  EXPECT_EQ(File(), "*\r\n($root)web/\r\nalpha\r\n/srv/alpha/\r\n*\r\nselect root directory\r\n");
}

TEST_F(VirtualHostEditorTest, DeleteAsksThenRemovesFromFileAndList) {
  EXPECT_FALSE(editor_.AskDelete().has_value());
  editor_.Select(1);
  std::optional<Confirmation> question = editor_.AskDelete();
  ASSERT_TRUE(question.has_value());
  EXPECT_EQ(question->title, "??");
  EXPECT_EQ(question->text, "Are you sure you want to delete the host  [alpha] ?");
  editor_.ConfirmDelete();
  EXPECT_EQ(File(), "*\r\n($root)web/\r\n");
  EXPECT_EQ(editor_.HostList(), (std::vector<std::string>{"HOST [*] mapped to [($root)web/] dir"}));
  EXPECT_EQ(table_.Entries()->size(), 1u);
}

TEST_F(VirtualHostEditorTest, TheDeleteQuestionConcernsTheEntryItNames) {
  EXPECT_FALSE(editor_.RequestDelete());  // nothing selected
  editor_.Select(1);
  ASSERT_TRUE(editor_.RequestDelete());
  EXPECT_EQ(editor_.PendingDelete()->text, "Are you sure you want to delete the host  [alpha] ?");
  editor_.AnswerDelete(false);
  EXPECT_FALSE(editor_.PendingDelete().has_value());
  EXPECT_EQ(table_.Entries()->size(), 2u);

  // Another page selects another line while the question is open: OK deletes alpha still.
  ASSERT_TRUE(editor_.RequestDelete());
  editor_.Select(0);
  editor_.AnswerDelete(true);
  EXPECT_EQ(File(), "*\r\n($root)web/\r\n");

  // The table was read again under the question and the line now holds another host: nothing.
  dir_.Write("config/hosts.dat", "*\r\n/a/\r\nbeta\r\n/b/\r\n");
  editor_.ReadAndShowHosts();
  editor_.Select(1);
  ASSERT_TRUE(editor_.RequestDelete());
  dir_.Write("config/hosts.dat", "*\r\n/a/\r\ngamma\r\n/g/\r\n");
  editor_.ReadAndShowHosts();
  editor_.AnswerDelete(true);
  EXPECT_EQ(File(), "*\r\n/a/\r\ngamma\r\n/g/\r\n");
}

TEST_F(VirtualHostEditorTest, ApplyAfterTheTableWasReadAgainDoesNotWriteBeyondIt) {
  editor_.Select(1);
  ASSERT_TRUE(editor_.Edit());
  dir_.Write("config/hosts.dat", "*\r\n/only/\r\n");
  editor_.ReadAndShowHosts();
  editor_.SetHname("ghost");
  editor_.Apply();
  EXPECT_EQ(File(), "*\r\n/only/\r\n");
}

TEST_F(VirtualHostEditorTest, NewIsRefusedWhenTheTableIsFull) {
  table_.Update([](HostEntries& e) { e.resize(VirtualHostTable::kMaxEntries); });
  EXPECT_FALSE(editor_.New());
  EXPECT_EQ(table_.Entries()->size(), VirtualHostTable::kMaxEntries);
}

TEST_F(VirtualHostEditorTest, ChooseRootDirectoryWritesTheProgramDirectoryAsMarker) {
  struct Case {
    std::string chosen;
    std::string root;
  } cases[] = {
      {dir_.path() + "webpage/shop/index.html", "($root)webpage/shop/"},
      {"/srv/site/start.html", "/srv/site/"},
  };
  for (const Case& c : cases) {
    editor_.ChooseRootDirectory(c.chosen);
    EXPECT_EQ(editor_.Hrootdir(), c.root) << c.chosen;
  }
}

}  // namespace
}  // namespace qorsv
