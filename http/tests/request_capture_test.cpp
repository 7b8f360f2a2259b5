#include "http/request_capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "http/tests/temp_program_dir.h"
#include "transport/spool_file.h"
#include "transport/temp_names.h"

namespace qorsv {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs Entries(const Tparams& params) {
  Pairs pairs;
  for (size_t i = 1; i <= params.count(); ++i) {
    pairs.emplace_back(params.paramname(i), params.paramvalue(i));
  }
  return pairs;
}

Pairs Entries(const Tcook& cookies) {
  Pairs pairs;
  for (size_t i = 1; i <= cookies.count(); ++i) pairs.emplace_back(cookies.name(i), cookies.value(i));
  return pairs;
}

// Uploads kept in memory: the stored data by the path handed out for it.
struct MemoryUploads {
  std::vector<std::string> stored;
  UploadWriter Writer() {
    return [this](const FormPiece& data) {
      stored.push_back(data.Bytes());
      return "/up/" + std::to_string(stored.size());
    };
  }
};

TEST(CaptureParamsTest, Pairs) {
  struct Case {
    std::string text;
    Pairs expected;
  } cases[] = {
      {"", {}},
      {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
      {"a=1&", {{"a", "1"}}},
      {"&a=1", {{"a", "1"}}},
      {"a=1&&b=2", {{"a", "1"}, {"b", "2"}}},  // no empty pair between two "&"
      {"&", {}},
      {"flag", {{"flag", ""}}},
      {"a==b", {{"a", "=b"}}},
      {"first+name=John+Smith", {{"first+name", "John Smith"}}},  // names are not decoded
      {"p=50%25", {{"p", "50%"}}},
      {"p=%4a%4B", {{"p", "JK"}}},
      {"p=50%2", {{"p", "50%2"}}},               // a truncated escape keeps the value as it came
      {"p=100%zz+x", {{"p", "100%zz+x"}}},
      {"p=%41+%", {{"p", "%41+%"}}},
      {"q=%41&r=%zz", {{"q", "A"}, {"r", "%zz"}}},  // other values are unaffected
      {"a=1\r\nb=2", {{"a", "1\r\nb=2"}}},      // the query joined behind a body
      {"p=%00", {{"p", std::string(1, '\0')}}},
  };
  for (const Case& c : cases) {
    Tparams params;
    CaptureParams(c.text, params);
    EXPECT_EQ(Entries(params), c.expected) << c.text;
  }
}

TEST(CaptureParamsTest, StartsEmptyAndStopsAtTheLimit) {
  Tparams params;
  CaptureParams("old=1", params);
  CaptureParams("new=2", params);
  EXPECT_EQ(Entries(params), (Pairs{{"new", "2"}}));

  std::ostringstream many;
  for (int i = 0; i < 65010; ++i) many << "k" << i << "=v&";
  CaptureParams(many.str(), params);
  EXPECT_EQ(params.count(), 65000);
  EXPECT_EQ(params.paramname(65000), "k64999");
  EXPECT_EQ(params.paramname(65001), "");  // beyond the count reads as empty
  EXPECT_EQ(params.paramname(0), "");
}

std::string Part(const std::string& boundary, const std::string& name, const std::string& data) {
  return boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + data +
         "\r\n";
}

std::string FilePart(const std::string& boundary, const std::string& name,
                     const std::string& file_name, const std::string& data) {
  return boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" +
         file_name + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n";
}

TEST(CaptureParamsTest, Multipart) {
  const std::string b = "-----------------------------9051914041544843365972754266";
  struct Case {
    const char* label;
    std::string text;
    Pairs expected;
    std::vector<std::string> uploads;
  } cases[] = {
      {"empty and plain fields", Part(b, "a", "") + Part(b, "c", "x") + b + "--\r\n",
       {{"a", ""}, {"c", "x"}}, {}},
      {"data keeps CR LF and bytes", Part(b, "t", "line1\r\nline2\r\n%41+") + b + "--\r\n",
       {{"t", "line1\r\nline2\r\n%41+"}}, {}},
      {"file part", FilePart(b, "f", "notes.txt", "0123456789") + b + "--\r\n",
       {{"f", "/up/1@notes.txt:10"}}, {"0123456789"}},
      {"short file name kept", FilePart(b, "f", "a.c", "x") + b + "--\r\n",
       {{"f", "/up/1@a.c:1"}}, {"x"}},
      {"empty file still stored", FilePart(b, "f", "", "") + b + "--\r\n",
       {{"f", "/up/1@:0"}}, {""}},
      {"nothing after the closing boundary",
       Part(b, "a", "1") + b + "--\r\n" + Part(b, "z", "2"), {{"a", "1"}}, {}},
      {"no closing boundary: data ends two before the end", Part(b, "a", "xyz"),
       {{"a", "xyz"}}, {}},
      {"file part without content type",
       b + "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"n.bin\"\r\n\r\nDATA\r\n" +
           b + "--\r\n",
       {{"f", "/up/1@n.bin:4"}}, {"DATA"}},
      {"pairs that begin with three hyphens", "---a=1&b=2", {}, {}},
  };
  TempProgramDir dir;
  for (const Case& c : cases) {
    Tparams params;
    MemoryUploads uploads;
    CaptureParams(c.text, params, uploads.Writer());
    EXPECT_EQ(Entries(params), c.expected) << c.label;
    EXPECT_EQ(uploads.stored, c.uploads) << c.label;

    // The same text spooled to a file, read through windows so small that every boundary
    // straddles two of them.
    std::unique_ptr<SpoolFile> spool = SpoolFile::Create(dir.path() + "temp/");
    ASSERT_TRUE(spool && spool->Append(c.text.data(), c.text.size()));
    for (size_t window : {1, 5, 64}) {
      Tparams from_file;
      MemoryUploads file_uploads;
      CaptureParams(FormText(*spool, window), from_file, file_uploads.Writer());
      EXPECT_EQ(Entries(from_file), c.expected) << c.label << ", spooled, window " << window;
      EXPECT_EQ(file_uploads.stored, c.uploads) << c.label << ", spooled, window " << window;
    }
  }
}

// A spooled upload of several windows' length is stored byte for byte, and the fields around it
// come out as from memory.
TEST(CaptureParamsTest, SpooledUploadIsStoredByteForByte) {
  TempProgramDir dir;
  const std::string b = "-----------------------------735323031399963166993862150";
  std::string data;
  uint32_t state = 12345;
  for (size_t i = 0; i < 3 * FormText::kWindow + 777; ++i) {
    state = state * 1103515245 + 12345;
    data += static_cast<char>(state >> 24);
  }
  data += "\r\n" + b.substr(0, 20);  // a near miss of the boundary inside the data
  std::string text = Part(b, "before", "1") + FilePart(b, "f", "big.bin", data) +
                     Part(b, "after", "2") + b + "--\r\n";
  std::unique_ptr<SpoolFile> spool = SpoolFile::Create(dir.path() + "temp/");
  ASSERT_TRUE(spool && spool->Append(text.data(), text.size()));

  Tparams params;
  CaptureParams(FormText(*spool), params,
                [&dir](const FormPiece& piece) { return WriteUploadFileIn(dir.path(), piece); });
  ASSERT_EQ(params.count(), 3);
  EXPECT_EQ(params.paramvalue(1), "1");
  EXPECT_EQ(params.paramvalue(3), "2");
  const std::string& value = params.paramvalue(2);
  size_t at = value.find('@');
  ASSERT_NE(at, std::string::npos) << value;
  EXPECT_EQ(value.substr(at), "@big.bin:" + std::to_string(data.size()));
  std::string stored_path = value.substr(0, at);
  EXPECT_EQ(stored_path.rfind(dir.path() + "temp/qortmpscr", 0), 0u) << stored_path;
  EXPECT_TRUE(dir.Read(stored_path.substr(dir.path().size())) == data);
}

TEST(CaptureCookiesTest, Pieces) {
  struct Case {
    const char* text;
    Pairs expected;
  } cases[] = {
      {"a=1; b=2", {{"a", "1"}, {"b", "2"}}},
      {"a=1;  b=2", {{"a", "1"}, {" b", "2"}}},  // only one blank is removed
      {"a=%41+x", {{"a", "%41+x"}}},             // values are not decoded
      {"a=1;b=x=y", {{"a", "1"}, {"b", "x=y"}}},
      {"a;b=1", {{"a;b", ""}, {"b", "1"}}},      // ";" before "=": empty value, name keeps it
      {"a=", {{"a", ""}}},
  };
  for (const Case& c : cases) {
    Tcook cookies;
    CaptureCookies(c.text, cookies);
    EXPECT_EQ(Entries(cookies), c.expected) << c.text;
  }
}

TEST(CaptureCookiesTest, APieceWithoutEqualsLeavesTheTableAsItWas) {
  const char* rejected[] = {"a=1; b", "a=1;", "a=1; ", "", "plain"};
  for (const char* text : rejected) {
    Tcook cookies;
    CaptureCookies("old=1", cookies);
    CaptureCookies(text, cookies);
    EXPECT_EQ(Entries(cookies), (Pairs{{"old", "1"}})) << text;
  }
}

TEST(CaptureCookiesTest, SurplusCookiesAreIgnored) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += (i ? "; c" : "c") + std::to_string(i) + "=v";
  Tcook cookies;
  CaptureCookies(text, cookies);
  EXPECT_EQ(cookies.count(), 255);
  EXPECT_EQ(cookies.name(255), "c254");
}

}  // namespace
}  // namespace qorsv
