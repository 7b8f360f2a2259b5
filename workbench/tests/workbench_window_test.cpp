#include "workbench/workbench_window.h"

#include <gtest/gtest.h>

#include "console/tests/temp_dir.h"
#include "console/workbench_link.h"
#include "workbench/workbench_windows.h"

namespace qorsv {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;


TEST(WorkbenchWindowTest, FirstActivationChoosesTheSettingsFileAndReadsOnce) {
  TempDir dir;
  WriteFile(dir.Path("scripts/page.qor"), "begin end.");
  WriteFile(dir.Path("config/config.xml"),
            "<Configuration><LastEditorFile>" + dir.Path("scripts/page.qor") +
                "</LastEditorFile><ServerAddress>http://10.0.0.2</ServerAddress>"
                "<EdMinPan>FALSE</EdMinPan></Configuration>");
  WorkbenchWindow workbench(dir.Dir());
  workbench.Show();
  EXPECT_TRUE(workbench.Visible());
  EXPECT_EQ(workbench.xml().FileName(), dir.Path("config/config.xml"));
  EXPECT_EQ(WorkbenchFileName(), dir.Path("scripts/page.qor"));
  EXPECT_EQ(workbench.ServerAddress(), "http://10.0.0.2");
  EXPECT_FALSE(workbench.PanelVisible());
  EXPECT_TRUE(workbench.BrowserTicked());  // absent: the browser is shown

  WriteFile(dir.Path("config/config.xml"),
            "<Configuration><EdMinPan>TRUE</EdMinPan>"
            "</Configuration>");
  workbench.Hide();
  workbench.Show();  // later activations read nothing
  EXPECT_FALSE(workbench.PanelVisible());
}

TEST(WorkbenchWindowTest, MissingLastFileKeepsTheDefaultDocument) {
  TempDir dir;
  WriteFile(dir.Path("config/config.xml"),
            "<Configuration><LastEditorFile>/nowhere/gone.qor</LastEditorFile></Configuration>");
  WorkbenchWindow workbench(dir.Dir());
  workbench.Show();
  EXPECT_EQ(WorkbenchFileName(), dir.Dir() + "webpage/default/index.html");
}

TEST(WorkbenchWindowTest, CloseRequestHidesAndWritesTheFourSettings) {
  TempDir dir;
  WorkbenchWindows windows(dir.Dir());
  windows.CreateWorkbench();
  windows.CreateEditorOptions();
  windows.ShowWorkbench();
  EXPECT_TRUE(windows.WorkbenchVisible());
  EXPECT_FALSE(windows.EditorOptions().Visible());
  SetWorkbenchFileName(dir.Path("scripts/x.qor"));
  windows.CloseWorkbench();
  EXPECT_FALSE(windows.WorkbenchVisible());
  EXPECT_EQ(ReadFile(dir.Path("config/config.xml")),
            "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n"
            "  <LastEditorFile>" +
                dir.Path("scripts/x.qor") +
                "</LastEditorFile>\r\n"
                "  <ServerAddress>http://127.0.0.1</ServerAddress>\r\n"
                "  <EdMinPan>TRUE</EdMinPan>\r\n"
                "  <EdBoriP>TRUE</EdBoriP>\r\n"
                "</Configuration>\r\n");
}

}  // namespace
}  // namespace qorsv
