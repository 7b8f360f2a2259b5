#include "ui/operator_http.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace qorsv {
namespace {

// Hands out a text in pieces of at most `piece` bytes, then end of input.
class TextSource : public ByteSource {
 public:
  TextSource(std::string text, size_t piece) : text_(std::move(text)), piece_(piece) {}
  size_t ReadSome(char* buffer, size_t size) override {
    size_t count = std::min({size, piece_, text_.size() - at_});
    std::memcpy(buffer, text_.data() + at_, count);
    at_ += count;
    return count;
  }

 private:
  std::string text_;
  size_t piece_;
  size_t at_ = 0;
};

TEST(OperatorHttpTest, ParsesTheHeadIntoPathQueryAndHeaders) {
  BadOperatorRequest bad{0, ""};
  std::optional<OperatorRequest> request = ParseOperatorRequestHead(
      "GET /api/files?dir=%2Ftmp%2Fa+b&filter=*.html&x HTTP/1.1\r\nHost:  127.0.0.1:8790 \r\n"
      "X-Qorsv-Token: t\r\nCookie: a=1; qorsv_token_8790=t2\r\n",
      &bad);
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->method, "GET");
  EXPECT_EQ(request->path, "/api/files");
  EXPECT_EQ(request->Query("dir"), "/tmp/a b");
  EXPECT_EQ(request->Query("filter"), "*.html");
  EXPECT_EQ(request->Query("x"), "");
  EXPECT_EQ(request->Header("host"), "127.0.0.1:8790");
  EXPECT_EQ(request->Header("x-qorsv-token"), "t");
  EXPECT_EQ(request->Cookie("qorsv_token_8790"), "t2");
  EXPECT_FALSE(request->Cookie("qorsv_token").has_value());
}

TEST(OperatorHttpTest, RefusesMalformedHeads) {
  const char* heads[] = {
      "",
      "GET",
      "GET /",
      "GET  HTTP/1.1",
      "GET relative HTTP/1.1",
      "GET / FTP/1.0",
      "G(T / HTTP/1.1",
      "GET / HTTP/1.1\r\nno colon here",
      "GET / HTTP/1.1\r\nbad name: x",
  };
  for (const char* head : heads) {
    BadOperatorRequest bad{0, ""};
    EXPECT_FALSE(ParseOperatorRequestHead(head, &bad).has_value()) << head;
    EXPECT_EQ(bad.status, 400) << head;
  }
}

TEST(OperatorHttpTest, ReadsTheBodyByItsLengthFromAnySplit) {
  std::string body = "{\"source\":\"console\",\"command\":\"Button5Click\"}";
  std::string text =
      "POST /api/command HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
      body;
  for (size_t piece : {1, 7, 4096}) {
    TextSource source(text + "trailing bytes are not read", piece);
    BadOperatorRequest bad{0, ""};
    std::optional<OperatorRequest> request = ReadOperatorRequest(source, "127.0.0.1", &bad);
    ASSERT_TRUE(request.has_value()) << piece;
    EXPECT_EQ(request->body, body) << piece;
    EXPECT_EQ(request->remote_ip, "127.0.0.1");
  }
}

TEST(OperatorHttpTest, RefusesOversizedOrUnframedRequests) {
  struct Case {
    std::string text;
    int status;
  } cases[] = {
      {"GET / HTTP/1.1\r\nX: " + std::string(kMaxOperatorHeadBytes, 'x') + "\r\n\r\n", 431},
      {"POST / HTTP/1.1\r\nContent-Length: " + std::to_string(kMaxOperatorBodyBytes + 1) +
           "\r\n\r\n",
       413},
      {"POST / HTTP/1.1\r\nContent-Length: 12x\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    TextSource source(c.text, 4096);
    BadOperatorRequest bad{0, ""};
    EXPECT_FALSE(ReadOperatorRequest(source, "127.0.0.1", &bad).has_value());
    EXPECT_EQ(bad.status, c.status) << c.text.substr(0, 40);
  }
}

TEST(OperatorHttpTest, ClosedBeforeARequestLineIsNoRequest) {
  TextSource empty("", 1);
  BadOperatorRequest bad{0, ""};
  EXPECT_FALSE(ReadOperatorRequest(empty, "127.0.0.1", &bad).has_value());
  EXPECT_EQ(bad.status, 0);
  TextSource cut("GET / HTTP/1.1\r\nHost", 4);
  EXPECT_THROW(ReadOperatorRequest(cut, "127.0.0.1", &bad), ConnectionLost);
}

TEST(OperatorHttpTest, PercentDecoding) {
  struct Case {
    const char* in;
    bool plus;
    const char* out;
  } cases[] = {
      {"a%20b", false, "a b"}, {"a+b", true, "a b"}, {"a+b", false, "a+b"},
      {"%zz", false, "%zz"},   {"%4", false, "%4"},  {"%41%42", false, "AB"},
      {"100%", false, "100%"},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentDecode(c.in, c.plus), c.out) << c.in;
}

TEST(OperatorHttpTest, ResponsesCloseAndForbidCachingAndFraming) {
  std::string response = OperatorResponse(403, "text/plain", "Forbidden\n");
  EXPECT_EQ(response.substr(0, response.find("\r\n")), "HTTP/1.1 403 Forbidden");
  for (const char* header : {"Content-Length: 10\r\n", "Cache-Control: no-store\r\n",
                             "X-Frame-Options: SAMEORIGIN\r\n", "Connection: close\r\n"}) {
    EXPECT_NE(response.find(header), std::string::npos) << header;
  }
  EXPECT_EQ(response.substr(response.size() - 14), "\r\n\r\nForbidden\n");
}

}  // namespace
}  // namespace qorsv
