#include "console/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "console/tests/temp_dir.h"
#include "transport/error.h"

namespace qorsv {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { store.SetSettingsFile(path); }

  TempDir dir;
  std::string path = dir.Path("config/config.xml");
  SettingsStore store;
};

TEST_F(SettingsStoreTest, MissingFileGivesDefaultsAndTheFirstWriteCreatesIt) {
  EXPECT_EQ(store.ReadSettingInteger("ListenPort", 80), 80);
  EXPECT_TRUE(store.ReadSettingBoolean("EdMinPan", true));
  EXPECT_EQ(store.ReadSettingString("ServerAddress", "http://127.0.0.1"), "http://127.0.0.1");
  EXPECT_FALSE(std::filesystem::exists(path));

  store.WriteSettingInteger("OutGB", -2);
  store.WriteSettingBoolean("Tip\\Show_On_Startup", true);
  store.WriteSettingString("ServerAddress", "http://host");
  store.WriteSettingInteger("OutGB", 3);  // same key again: one element, first place
  EXPECT_EQ(ReadFile(path),
            "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
            "<Configuration>\r\n"
            "  <OutGB>3</OutGB>\r\n"
            "  <Tip>\r\n"
            "    <Show_On_Startup>TRUE</Show_On_Startup>\r\n"
            "  </Tip>\r\n"
            "  <ServerAddress>http://host</ServerAddress>\r\n"
            "</Configuration>\r\n");
}

TEST_F(SettingsStoreTest, KeysMatchWithoutRegardToCase) {
  store.WriteSettingInteger("OutKB", 7);
  store.WriteSettingBoolean("TIP\\show_on_startup", false);
  EXPECT_EQ(store.ReadSettingInteger("OutKb", 0), 7);
  EXPECT_EQ(store.ReadSettingInteger("outkb", 0), 7);
  EXPECT_FALSE(store.ReadSettingBoolean("Tip\\Show_On_Startup", true));
  store.WriteSettingInteger("outkb", 8);
  EXPECT_EQ(ReadFile(path).find("outkb"), std::string::npos);  // the first spelling stays
}

TEST_F(SettingsStoreTest, TypedReads) {
  struct Case {
    std::string stored;
    int32_t integer;
    bool boolean;
  } cases[] = {
      {"42", 42, true},
      {"-17", -17, true},
      {"+5", 5, true},
      {"0", 0, false},
      {"abc", -1, false},
      {"", -1, false},
      {"12abc", -1, false},
      {"yes", -1, true},
      {"Y", -1, true},
      {"TRUE", -1, true},
      {"no", -1, false},
      {"n", -1, false},
      {"False", -1, false},
      {"maybe", -1, false},
      {"2.5", -1, true},
      {"2147483648", INT32_MIN, true},  // a counter at 2^31 keeps its 32 bits
      {"4294967297", 1, true},          // low 32 bits of a 64-bit number
      {"99999999999999999999", -1, true},
  };
  for (const Case& c : cases) {
    WriteFile(path, "<Configuration><K>" + c.stored + "</K></Configuration>");
    EXPECT_EQ(store.ReadSettingInteger("K", 1234), c.integer) << c.stored;
    EXPECT_EQ(store.ReadSettingBoolean("K", true), c.boolean) << c.stored;
    EXPECT_EQ(store.ReadSettingInteger("Missing", 1234), 1234);
  }
}

TEST_F(SettingsStoreTest, StringsLoseRunsOfBlanksAndKeepMarkup) {
  store.WriteSettingString("LastEditorFile", "my  file.qor");
  EXPECT_EQ(store.ReadSettingString("LastEditorFile", ""), "my file.qor");
  store.WriteSettingString("ServerAddress", "<script>&amp</script>");
  EXPECT_EQ(store.ReadSettingString("ServerAddress", ""), "<script>&amp</script>");
  EXPECT_EQ(store.ReadSettingString("LastEditorFile", ""), "my file.qor");  // file still reads
}

TEST_F(SettingsStoreTest, EveryAccessRereadsTheFile) {
  store.WriteSettingInteger("OutMB", 5);
  WriteFile(path,
            "<?xml version=\"1.0\"?><!-- hand edit -->\n<Configuration><OutMB>9</OutMB>"
            "</Configuration>");
  EXPECT_EQ(store.ReadSettingInteger("OutMb", 0), 9);
  store.WriteSettingInteger("ServedFiles", 1);
  EXPECT_EQ(ReadFile(path).rfind("<?xml version=\"1.0\"?><!-- hand edit -->\r\n", 0), 0u);

  std::filesystem::remove(path);
  EXPECT_EQ(store.ReadSettingInteger("OutMb", 0), 0);
  store.WriteSettingInteger("OutKB", 2);
  EXPECT_EQ(ReadFile(path),
            "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n"
            "  <OutKB>2</OutKB>\r\n</Configuration>\r\n");
}

TEST_F(SettingsStoreTest, ReadOnlyFileIsLeftAlone) {
  const std::string original = "<Configuration><OutKB>4</OutKB></Configuration>";
  WriteFile(path, original);
  chmod(path.c_str(), 0444);
  SettingsStore other;
  other.SetSettingsFile(path);
  EXPECT_TRUE(other.ReadOnly());
  other.WriteSettingInteger("OutKB", 5);
  other.WriteSettingString("New", "x");
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_EQ(other.ReadSettingInteger("OutKb", 0), 4);
}

TEST_F(SettingsStoreTest, UnparsableFileFailsEveryAccessAndIsNeverOverwritten) {
  const std::string broken = "<Configuration><OutKB>4</OutGB></Configuration>";
  WriteFile(path, broken);
  EXPECT_THROW(store.ReadSettingInteger("OutKb", 0), QorsvError);
  try {
    store.WriteSettingInteger("OutKB", 1);
    ADD_FAILURE() << "write to a broken file succeeded";
  } catch (const QorsvError& error) {
    EXPECT_NE(std::string(error.what()).find("Expected \"</OutKB>\" but found"), std::string::npos)
        << error.what();
  }
  store.SetSettingsFile(dir.Path("other.xml"));  // leaving the broken file does not save it
  EXPECT_EQ(ReadFile(path), broken);
}

TEST_F(SettingsStoreTest, KeysThatWouldBreakTheFileAreRefused) {
  for (std::string key : {"", "\\", "Two words", "a<b", "x\\y&z"}) {
    EXPECT_THROW(store.WriteSettingString(key, "v"), QorsvError) << key;
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace qorsv
