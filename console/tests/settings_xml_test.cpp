#include "console/settings_xml.h"

#include <gtest/gtest.h>

#include "transport/error.h"

namespace qorsv {
namespace {

TEST(SettingsXmlTest, PrologAttributesAndRootNameSurviveARoundTrip) {
  const std::string text =
      "<?xml version=\"1.0\"?>\n<!-- kept by hand -->\n<!DOCTYPE x [ <!ENTITY a \"b\"> ]>\n"
      "<Settings kind=\"main\"><OutKB>12</OutKB></Settings>\n";
  XmlDocument document = ParseSettingsXml(text);
  EXPECT_EQ(document.prolog,
            "<?xml version=\"1.0\"?>\n<!-- kept by hand -->\n<!DOCTYPE x [ <!ENTITY a \"b\"> ]>");
  EXPECT_EQ(document.root.name, "Settings");
  EXPECT_EQ(WriteSettingsXml(document), document.prolog +
                                            "\r\n<Settings kind=\"main\">\r\n"
                                            "  <OutKB>12</OutKB>\r\n</Settings>\r\n");
}

TEST(SettingsXmlTest, TextRules) {
  struct Case {
    std::string element_text;
    std::string value;
  } cases[] = {
      {"two  blanks   here", "two blanks here"},
      {"\r\n   leading white space", "leading white space"},
      {"tab\tand\r\nbreak", "tab\tand\r\nbreak"},
      {"a &lt; b &amp;&amp; c &gt; d", "a < b && c > d"},
      {"fish & chips", "fish & chips"},
      {"&amp;lt;", "&lt;"},
      {"&quot;&nbsp;&#65;", "&quot;&nbsp;&#65;"},
      {"<![CDATA[<raw>  &amp;]]>", "<raw>  &amp;"},
      {"a<!-- note -->b", "ab"},
  };
  for (const Case& c : cases) {
    XmlDocument document = ParseSettingsXml("<C><K>" + c.element_text + "</K></C>");
    const XmlElement* key = document.root.FindChild("k");
    ASSERT_NE(key, nullptr) << c.element_text;
    EXPECT_EQ(key->value, c.value) << c.element_text;
  }
}

TEST(SettingsXmlTest, EmptyTextGivesAnEmptyConfiguration) {
  for (std::string text : {"", "  \r\n", "<?xml version=\"1.0\"?>\r\n"}) {
    XmlDocument document = ParseSettingsXml(text);
    EXPECT_EQ(document.root.name, "Configuration") << text;
    EXPECT_TRUE(document.root.children.empty()) << text;
  }
}

TEST(SettingsXmlTest, BrokenFilesNameWhatWasExpectedAndFound) {
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"<C><A>1</B></C>", "Expected \"</A>\" but found \"</B>\" at line 1"},
      {"<C>\r\n<A>1", "Expected \"</A>\" but found end of file at line 2"},
      {"<C></C><D/>", "Expected end of file but found \"<D/>\" at line 1"},
      {"text", "Expected \"<\" but found \"text\" at line 1"},
      {"<C a=1/>", "Expected a quoted attribute value but found \"1/>\" at line 1"},
      {"<!-- open", "Expected \"-->\" but found \"<!-- open\" at line 1"},
      {"<>", "Expected an element name but found \">\" at line 1"},
  };
  for (const Case& c : cases) {
    try {
      ParseSettingsXml(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const QorsvError& error) {
      EXPECT_EQ(error.what(), c.message) << c.text;
    }
  }
}

TEST(SettingsXmlTest, NestingDepthIsBounded) {
  std::string deep;
  for (int i = 0; i < kMaxXmlDepth + 1; ++i) deep += "<a>";
  EXPECT_THROW(ParseSettingsXml(deep), QorsvError);
}

}  // namespace
}  // namespace qorsv
