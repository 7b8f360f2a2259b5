#include "http/page_processor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "http/tests/temp_program_dir.h"

namespace qorsv {
namespace {

// Each run answers "<" + the number of the run + ">", and remembers its input.
class PageProcessorTest : public ::testing::Test {
 protected:
  struct Outcome {
    std::string output;            // the output file's bytes
    std::vector<std::string> ran;  // the script texts, in run order
  };

  Outcome Process(const std::string& page_text, const std::string& document = "/p.html",
                  const std::string& method = "GET",
                  std::vector<std::pair<std::string, std::string>> params = {}) {
    std::string page_path = dir_.Write("site/page.html", page_text);
    request_.Command = method;
    request_.Document = document;
    request_.RemoteIP = "10.0.0.9";
    data_.params.Clear();
    for (auto& [name, value] : params) data_.params.Append(name, value);
    PageRequest page{page_path, document, "www.test", "/srv/www/",
                     321,       &data_,   &request_,  &response_};
    Outcome outcome;
    std::string output_path = ProcessPage(
        page,
        [&](const ScriptRunInput& input) {
          inputs_.push_back(input);
          outcome.ran.push_back(input.script_text);
          return "<" + std::to_string(outcome.ran.size()) + ">";
        },
        dir_.path());
    EXPECT_EQ(output_path.rfind(dir_.path() + "temp/qortmpscr", 0), 0u) << output_path;
    EXPECT_EQ(output_path.substr(output_path.size() - 5), ".html");
    outcome.output = dir_.Read(output_path.substr(dir_.path().size()));
    std::filesystem::remove(output_path);
    return outcome;
  }

  TempProgramDir dir_;
  RequestInfo request_;
  RequestData data_;
  ResponseInfo response_;
  std::vector<ScriptRunInput> inputs_;
};

TEST_F(PageProcessorTest, OrdinaryLinesAreCopiedWithCrLf) {
  struct Case {
    const char* page;
    const char* output;
  } cases[] = {
      {"", ""},
      {"a", "a\r\n"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\r\n\r\nb", "a\r\n\r\nb\r\n"},
      {"a\nb\nc", "a\nb\nc\r\n"},  // LF alone does not end a line
      {"a\rxb", "a\r\nb\r\n"},     // the character after a CR is skipped, whatever it is
      {"  <%qor%>onload\r\nx := 1;\r\n", "  <%qor%>onload\r\nx := 1;\r\n"},  // blanks first
  };
  for (const Case& c : cases) {
    Outcome outcome = Process(c.page);
    EXPECT_EQ(outcome.output, c.output) << c.page;
    EXPECT_TRUE(outcome.ran.empty()) << c.page;
  }
}

TEST_F(PageProcessorTest, BlockSelection) {
  struct Case {
    const char* what;
    const char* page;
    const char* document;
    const char* method;
    std::vector<std::pair<std::string, std::string>> params;
    const char* output;
    std::vector<std::string> ran;
  } cases[] = {
      // clang-format off
      {"INIT and onload on a GET of /, in page order; x dropped",
       "h\r\n<%qor%>INIT\r\ni1;\r\n</%qor%>\r\n<%qor%>x\r\nx1;\r\n</%qor%>\r\n"
       "<%qor%>onload\r\no1;\r\n</%qor%>\r\nt\r\n",
       "/", "GET", {}, "h\r\n<1>\r\n\r\n\r\n<2>\r\n\r\nt\r\n", {"\r\ni1;", "\r\no1;"}},
      {"INIT also for /index.html", "<%qor%>INIT\r\nab;\r\n</%qor%>\r\n", "/index.html", "GET",
       {}, "<1>\r\n\r\n", {"\r\nab;"}},
      {"no INIT on a POST of /", "<%qor%>INIT\r\nab;\r\n</%qor%>\r\n", "/", "POST", {},
       "\r\n", {}},
      {"the block named after the document runs; one without the slash does not",
       "<%qor%>/p.html\r\nab;\r\n</%qor%>\r\n<%qor%>p.html\r\ncd;\r\n</%qor%>\r\n", "/p.html",
       "GET", {}, "<1>\r\n\r\n\r\n", {"\r\nab;"}},
      {"qorbutton selects ignoring case and becomes the selector",
       "<%qor%>onload\r\no1;\r\n</%qor%>\r\n<%qor%>save\r\ns1;\r\n</%qor%>\r\n"
       "<%qor%>/p.html\r\np1;\r\n</%qor%>\r\n",
       "/p.html", "POST", {{"QorButton", "Save"}}, "<1>\r\n\r\n<2>\r\n\r\n\r\n",
       {"\r\no1;", "\r\ns1;"}},
      {"capital tags and the rest of the tag lines are ignored",
       "<%QOR%>onload extra words\r\nab;\r\n</%Qor%> trailing\r\n", "/p.html", "GET", {},
       "<1>\r\n\r\n", {"\r\nab;"}},
      {"one-character lines and lines with a slash first or second are left out",
       "<%qor%>onload\r\nx := 1;\r\n// note\r\n/x\r\na/b\r\n;\r\nend;\r\n</%qor%>\r\n",
       "/p.html", "GET", {}, "<1>\r\n\r\n", {"\r\nx := 1;\r\nend;"}},
      {"LF-only page is one line: the block never closes",
       "<%qor%>onload\nab;\n</%qor%>\n", "/p.html", "GET", {}, "", {}},
      {"unclosed block: nothing runs and the rest of the page is dropped",
       "top\r\n<%qor%>onload\r\nab;\r\nmore\r\n", "/p.html", "GET", {}, "top\r\n", {}},
      {"a closing line with no open block runs nothing",
       "a\r\n</%qor%>\r\n<%qor%>onload\r\nab;\r\n</%qor%>\r\n</%qor%>\r\n", "/p.html", "GET", {},
       "a\r\n\r\n<1>\r\n\r\n\r\n", {"\r\nab;"}},
      {"an empty selector does not run stray closing lines", "</%qor%>\r\n", "", "GET", {},
       "\r\n", {}},
      {"short tag lines are ordinary", "<%qor%\r\n</%qor%\r\n", "/p.html", "GET", {},
       "<%qor%\r\n</%qor%\r\n", {}},
      // clang-format on
  };
  for (const Case& c : cases) {
    Outcome outcome = Process(c.page, c.document, c.method, c.params);
    EXPECT_EQ(outcome.output, c.output) << c.what;
    EXPECT_EQ(outcome.ran, c.ran) << c.what;
  }
}

TEST_F(PageProcessorTest, LongBlockNamesAreOrdinaryLines) {
  std::string name(kMaxBlockNameLength, 'n');
  std::string longer(kMaxBlockNameLength + 1, 'n');
  Outcome fits = Process("<%qor%>" + name + "\r\nab;\r\n</%qor%>\r\n", name);
  EXPECT_EQ(fits.ran, std::vector<std::string>{"\r\nab;"});

  Outcome too_long = Process("<%qor%>" + longer + "\r\nab;\r\n</%qor%>\r\n", longer);
  EXPECT_TRUE(too_long.ran.empty());
  EXPECT_EQ(too_long.output, "<%qor%>" + longer + "\r\nab;\r\n\r\n");
}

TEST_F(PageProcessorTest, RunsGetTheRequest) {
  request_.Document = "/-qorcompilerscript.qor";
  std::string page_path = dir_.Write("site/w.html", "<%qor%>onload\r\nab;\r\n</%qor%>\r\n");
  data_.params.Clear();
  data_.params.Append("k", "v");
  request_.Command = "GET";
  request_.RemoteIP = "10.0.0.9";
  // The workbench's run page: the dispatcher holds an empty document.
  PageRequest page{page_path, "", "www.test", "/srv/www/", 321, &data_, &request_, &response_};
  std::string output = ProcessPage(
      page,
      [&](const ScriptRunInput& input) {
        inputs_.push_back(input);
        return "";
      },
      dir_.path());
  std::filesystem::remove(output);
  ASSERT_EQ(inputs_.size(), 1u);
  const ScriptRunInput& input = inputs_[0];
  EXPECT_EQ(input.last_visit, "");
  EXPECT_EQ(input.client_address, "10.0.0.9");
  EXPECT_EQ(input.host_name, "www.test");
  EXPECT_EQ(input.host_root, "/srv/www/");
  EXPECT_EQ(input.document, "/-qorcompilerscript.qor");  // the path as requested
  EXPECT_EQ(input.data, &data_);
  EXPECT_EQ(input.thread_id, 321);
  EXPECT_EQ(input.response, &response_);
}

TEST_F(PageProcessorTest, FailuresLeaveNoOutputFile) {
  request_.Command = "GET";
  auto page_at = [&](const std::string& path) {
    return PageRequest{path, "/f.html", "", "", 1, &data_, &request_, &response_};
  };
  std::string block = dir_.Write("site/f.html", "<%qor%>onload\r\nab;\r\n</%qor%>\r\n");
  auto failing = [](const ScriptRunInput&) -> std::string { throw QorsvError("boom"); };
  EXPECT_THROW(ProcessPage(page_at(block), failing, dir_.path()), QorsvError);
  auto never = [](const ScriptRunInput&) { return std::string(); };
  EXPECT_THROW(ProcessPage(page_at(dir_.path() + "site/none.html"), never, dir_.path()),
               QorsvError);
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path() + "temp")) {
    EXPECT_NE(entry.path().filename().string().rfind("qortmpscr", 0), 0u) << entry.path();
  }

  std::filesystem::remove_all(dir_.path() + "temp");
  EXPECT_THROW(ProcessPage(page_at(block), never, dir_.path()), QorsvError);
}

}  // namespace
}  // namespace qorsv
