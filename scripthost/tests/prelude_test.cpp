#include "scripthost/prelude.h"

#include <gtest/gtest.h>

#include "scripthost/late_binding.h"

namespace qorsv {
namespace {

TEST(PreludeTest, QuoteLiteral) {
  struct Case {
    std::string value;
    std::string quoted;
  } cases[] = {
      {"", ""},
      {"plain text", "plain text"},
      {"a'b", "a''b"},
      {"''", "''''"},
      {"x\ty", "x'+chr(9)+'y"},
      {"\r\n", "'+chr(13)+''+chr(10)+'"},
      {std::string("a\0b", 3), "a'+chr(0)+'b"},
      {"\x1f ", "'+chr(31)+' "},
      {"caf\xe9 \x80\xff", "caf\xe9 \x80\xff"},  // bytes from 128 on are copied
  };
  for (const Case& c : cases) EXPECT_EQ(QuoteLiteral(c.value), c.quoted) << c.value;
}

PreludeValues SampleValues() {
  PreludeValues v;
  v.slot = 7;
  v.client_address = "10.0.0.1";
  v.host_name = "o'host";
  v.host_root = "/srv/www/";
  v.program_dir = "/opt/qorsv/";
  v.last_visit = "";
  v.server_uptime = 1234;
  v.document = "/p.html";
  v.out_mb = 2;
  v.out_kb = 3;
  v.out_gb = 1;
  v.out_bytes = 4;
  v.served_files = 5;
  return v;
}

TEST(PreludeTest, CombinedTextByteForByte) {
  RequestData data;
  data.params.Append("a", "b'c");
  data.headers.Append("Host", "x");
  data.cookies.Append("k", "v\tw");
  const std::string expected =
      " const uniqueecho=7; myip='10.0.0.1'; myhost='o''host'; myhostdir='/srv/www/'; "
      "mypath='/opt/qorsv/'; lastvisit=''; serveruptime=1234; "
      "\r\nlocaldoc='/p.html';"
      "\r\noutmb=2;"
      "\r\noutkb=3;"
      "\r\noutgb=1;"
      "\r\noutbytes=4;"
      "\r\nservedfiled=5;"
      "\r\n{$i ext.qor} "
      "procedure readparams; \r\nbegin  params.count:=1;\r\n"
      " params.paramname[1]:='a'; \r\n"
      " params.paramvalue[1]:='b''c'; \r\n"
      " end;"
      "procedure readheaders; \r\nbegin  headers.count:=1;\r\n"
      " headers.headername[1]:='Host'; \r\n"
      " headers.headervalue[1]:='x'; \r\n"
      " end;"
      "procedure readcookies; begin  cookies.count:=1;"
      " cookies.name[1]:='k';  cookies.value[1]:='v'+chr(9)+'w'; "
      " end;"
      "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"
      "\r\nwrite_html('hi', uniqueecho);";
  EXPECT_EQ(BuildCombinedText(SampleValues(), data, "\r\nwrite_html('hi', uniqueecho);"), expected);
}

TEST(PreludeTest, EmptyRequestHoldsOnlyTheCounts) {
  std::string text = BuildCombinedText(SampleValues(), RequestData{}, "");
  EXPECT_NE(text.find("procedure readparams; \r\nbegin  params.count:=0;\r\n end;"
                      "procedure readheaders; \r\nbegin  headers.count:=0;\r\n end;"
                      "procedure readcookies; begin  cookies.count:=0; end;"),
            std::string::npos)
      << text;
  // The prelude ends in nine line breaks; the script follows directly.
  EXPECT_EQ(text.substr(text.size() - 23), " end;\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

TEST(PreludeTest, EveryEntryIsNumberedFromOne) {
  RequestData data;
  for (int i = 1; i <= 300; ++i) data.params.Append("p" + std::to_string(i), "v");
  for (int i = 1; i <= 300; ++i) data.headers.Append("h" + std::to_string(i), "v");
  std::string text = BuildCombinedText(SampleValues(), data, "");
  EXPECT_NE(text.find("params.count:=300;"), std::string::npos);
  EXPECT_NE(text.find(" params.paramname[300]:='p300'; \r\n"), std::string::npos);
  EXPECT_EQ(text.find("paramname[301]"), std::string::npos);
  // The header table keeps at most 255 entries.
  EXPECT_NE(text.find("headers.count:=255;"), std::string::npos);
  EXPECT_NE(text.find(" headers.headername[255]:='h255'; \r\n"), std::string::npos);
  EXPECT_EQ(text.find("headername[256]"), std::string::npos);
}

struct Bound {
  std::string combined;
  std::string preprocessed;
  LateBinding binding;
};

// The prelude and script as the runner builds them, with the include replaced by `ext_text`.
Bound BindSample(const PreludeValues& values, const RequestData& data,
                 const std::string& ext_text = "{ ext }\r\nvar x: Integer;\r\n") {
  Bound bound;
  PreludeLayout layout;
  bound.combined = BuildCombinedText(values, data, "\r\nbegin end.", &layout);
  bound.preprocessed = bound.combined;
  bound.preprocessed.replace(layout.head_end, std::string("{$i ext.qor}").size(), ext_text);
  bound.binding = BindPreludeLiterals(bound.combined, layout, bound.preprocessed);
  return bound;
}

TEST(LateBindingTest, EveryValueIsFoundAtItsLiteralInThePreprocessedText) {
  RequestData data;
  data.params.Append("a", "b'c");
  data.headers.Append("Host", "x");
  data.cookies.Append("k", "v");
  Bound bound = BindSample(SampleValues(), data);
  ASSERT_TRUE(bound.binding.usable);
  // 13 constants, then name and value of each parameter, header and cookie.
  ASSERT_EQ(bound.binding.offsets.size(), 19u);
  auto literal_at = [&](size_t i, size_t length) {
    return bound.preprocessed.substr(bound.binding.offsets[i], length);
  };
  EXPECT_EQ(literal_at(0, 1), "7");
  EXPECT_EQ(literal_at(2, 8), "'o''host");
  EXPECT_EQ(literal_at(6, 4), "1234");
  EXPECT_EQ(literal_at(12, 1), "5");
  EXPECT_EQ(literal_at(14, 6), "'b''c'");
  EXPECT_EQ(literal_at(18, 3), "'v'");
  EXPECT_EQ(bound.binding.values[14].ToText(), "b'c");
  EXPECT_EQ(bound.binding.values[6].ToInt32(), 1234);
}

TEST(LateBindingTest, RequestsShareAKeyOnlyWhenTheyHaveTheSameShape) {
  RequestData one;
  one.params.Append("name", "ann");
  RequestData other;
  other.params.Append("name", "bob's");
  PreludeValues values = SampleValues();
  std::string key = BindSample(values, one).binding.key;
  PreludeValues later = values;
  later.out_bytes = 99999;
  later.document = "/elsewhere.html";
  EXPECT_EQ(BindSample(later, other).binding.key, key);

  RequestData one_char;
  one_char.params.Append("name", "x");
  EXPECT_NE(BindSample(values, one_char).binding.key, key);  // a Char literal
  PreludeValues big = values;
  big.out_bytes = 3000000000u;
  EXPECT_NE(BindSample(big, one).binding.key, key);  // an Int64 literal
  RequestData two = one;
  two.params.Append("more", "x");
  EXPECT_NE(BindSample(values, two).binding.key, key);
  EXPECT_NE(BindSample(values, one, "{ another ext }").binding.key, key);
}

TEST(LateBindingTest, ValuesWithoutASingleLiteralOrAChangedPreludeAreNotBound) {
  RequestData data;
  data.params.Append("a", "line\r\nbreak");
  EXPECT_FALSE(BindSample(SampleValues(), data).binding.usable);

  RequestData plain;
  plain.params.Append("a", "b");
  PreludeLayout layout;
  std::string combined = BuildCombinedText(SampleValues(), plain, "\r\nbegin end.", &layout);
  std::string changed = combined;
  changed.replace(changed.find("params.count"), 6, "PARAMS");
  EXPECT_FALSE(BindPreludeLiterals(combined, layout, changed).usable);
}

}  // namespace
}  // namespace qorsv
