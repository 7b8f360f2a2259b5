#include "http/response_writer.h"

#include <gtest/gtest.h>

#include "http/tests/byte_streams.h"
#include "http/tests/temp_program_dir.h"

namespace qorsv {
namespace {

TEST(ResponseWriterTest, HeaderFormat) {
  ResponseInfo plain;
  EXPECT_EQ(FormatResponseHeader(plain),
            "HTTP/1.1 200 OK\r\nServer: Indy/8.0.25\r\nContent-Type: text/html\r\n\r\n");

  ResponseInfo full;
  full.SetStatusCode(404);
  full.ContentType = "image/png";
  full.ContentLength = 0;
  full.AddCookiesFromText("a=1; b=2");
  full.ResponseCookies[1].max_age = 10077682;
  EXPECT_EQ(FormatResponseHeader(full),
            "HTTP/1.1 404 Not Found\r\n"
            "Set-Cookie: a=1; Version=\"1\"\r\n"
            "Set-Cookie: b=2; Version=\"1\"; Max-Age=10077682\r\n"
            "Server: Indy/8.0.25\r\nContent-Type: image/png\r\nContent-Length: 0\r\n\r\n");

  ResponseInfo text;
  text.ContentText = "hello";  // length -1: the text's length is sent
  EXPECT_NE(FormatResponseHeader(text).find("Content-Length: 5\r\n"), std::string::npos);
}

TEST(ResponseWriterTest, LineBreaksInValuesCannotStartHeaderLines) {
  ResponseInfo response;
  response.AddCookiesFromText("a=x\r\nX-Injected: 1");
  response.ContentType = "text/plain\r\nX-Other: 2";
  std::string header = FormatResponseHeader(response);
  EXPECT_EQ(header.find("\r\nX-"), std::string::npos) << header;
}

TEST(ResponseWriterTest, FinishWritesHeaderThenText) {
  StringSink sink;
  ResponseWriter writer(sink, false);
  ResponseInfo response;
  response.SetStatusCode(500);
  response.ContentText = "Cannot open file /x";
  writer.Finish(response);
  EXPECT_EQ(sink.out,
            "HTTP/1.1 500 Internal Server Error\r\nServer: Indy/8.0.25\r\nContent-Type: "
            "text/html\r\nContent-Length: 19\r\n\r\nCannot open file /x");
}

TEST(ResponseWriterTest, HeadAnswersCarryNoBody) {
  StringSink sink;
  ResponseWriter writer(sink, true);
  ResponseInfo response;
  response.ContentLength = 1234;
  writer.Finish(response);
  EXPECT_EQ(sink.out, FormatResponseHeader(response));

  StringSink not_found_sink;
  ResponseWriter not_found_writer(not_found_sink, true);
  ResponseInfo not_found;
  not_found.SetStatusCode(404);
  not_found.ContentText = "page";
  not_found_writer.Finish(not_found);
  EXPECT_EQ(not_found_sink.out.substr(not_found_sink.out.size() - 4), "\r\n\r\n");
}

TEST(ResponseWriterTest, ServeFileSendsHeaderAndWholeFile) {
  TempProgramDir dir;
  std::string path = dir.Write("a.png", std::string("\x89PNG\0data", 9));
  StringSink sink;
  ResponseWriter writer(sink, false);
  ResponseInfo response;
  response.ContentType = "image/png";
  EXPECT_EQ(writer.ServeFile(response, path), 9u);
  EXPECT_EQ(response.ContentLength, 9);
  EXPECT_EQ(sink.out, FormatResponseHeader(response) + std::string("\x89PNG\0data", 9));
  writer.Finish(response);  // nothing more: the header is out and there is no text
  EXPECT_EQ(sink.out.size(), FormatResponseHeader(response).size() + 9);
  try {
    writer.WriteHeader(response);
    FAIL() << "second header";
  } catch (const QorsvError& error) {
    EXPECT_STREQ(error.what(), "Header has already been written.");
  }
}

TEST(ResponseWriterTest, ShortFilesLeaveWithTheHeaderInOneWriteLongOnesBySendFile) {
  TempProgramDir dir;
  for (size_t size : {size_t{1}, size_t{65536}, size_t{65537}, size_t{300000}}) {
    std::string path = dir.Write("f.bin", std::string(size, 'z'));
    StringSink sink;
    ResponseWriter writer(sink, false);
    ResponseInfo response;
    EXPECT_EQ(writer.ServeFile(response, path), size);
    EXPECT_EQ(sink.out, FormatResponseHeader(response) + std::string(size, 'z')) << size;
    bool inline_body = size <= 65536;
    EXPECT_EQ(sink.writes, 1) << size;
    EXPECT_EQ(sink.send_files, inline_body ? 0 : 1) << size;
  }
  // A HEAD request gets the header with the file's length and no body.
  std::string path = dir.Write("f.bin", "12345");
  StringSink sink;
  ResponseWriter writer(sink, true);
  ResponseInfo response;
  EXPECT_EQ(writer.ServeFile(response, path), 0u);
  EXPECT_EQ(response.ContentLength, 5);
  EXPECT_EQ(sink.out, FormatResponseHeader(response));
}

TEST(ResponseWriterTest, ServeFileOfMissingFileOrDirectoryFailsBeforeTheHeader) {
  TempProgramDir dir;
  for (std::string path : {dir.path() + "missing.html", dir.path() + "temp"}) {
    StringSink sink;
    ResponseWriter writer(sink, false);
    ResponseInfo response;
    try {
      writer.ServeFile(response, path);
      FAIL() << path;
    } catch (const QorsvError& error) {
      EXPECT_EQ(error.what(), "Cannot open file " + path);
    }
    EXPECT_FALSE(response.HeaderWritten);
    EXPECT_TRUE(sink.out.empty());
  }
}

}  // namespace
}  // namespace qorsv
