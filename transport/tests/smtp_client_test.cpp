#include "transport/smtp_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "transport/tests/smtp_peers_support.h"

namespace qorsv {
namespace {

using std::chrono::milliseconds;
using testing::MailSink;
using testing::PeerScript;
using testing::ScriptedSmtpPeer;

TEST(SmtpFormatTest, Addresses) {
  struct Case {
    MailAddress address;
    std::string written;
  } const kCases[] = {
      {{"", "anna@example.org"}, "anna@example.org"},
      {{"Anna", "anna@example.org"}, "Anna <anna@example.org>"},
      {{"Anna Berg", "anna@example.org"}, "Anna Berg <anna@example.org>"},
      {{"Berg, Anna", "anna@example.org"}, "\"Berg, Anna\" <anna@example.org>"},
      {{"A. Berg", "a@x"}, "\"A. Berg\" <a@x>"},
      {{"say \"hi\"", "a@x"}, "\"say \\\"hi\\\"\" <a@x>"},
      {{"J\xF6rg", "j@x"}, "J\xF6rg <j@x>"},  // 8-bit text travels as it is
      {{"Anna", ""}, "Anna <>"},
      // An address text written with a name of its own gives only its bracketed address.
      {{"Anna", "Anna Berg < anna@example.org >"}, "Anna <anna@example.org>"},
      {{"", "Anna Berg <anna@example.org>"}, "Anna Berg <anna@example.org>"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FormatAddress(c.address), c.written) << "name: " << c.address.name;
  }
  EXPECT_EQ(FormatAddressList({{"", "a@x"}, {"Berg, Anna", "b@x"}}), "a@x, \"Berg, Anna\" <b@x>");
  EXPECT_EQ(FormatAddressList({}), "");
}

TEST(SmtpFormatTest, DateInLocalTimeWithNumericZone) {
  struct Case {
    const char* tz;
    std::time_t moment;
    const char* text;
  } const kCases[] = {
      {"UTC0", 0, "Thu, 01 Jan 1970 00:00:00 +0000"},
      {"<+0530>-5:30", 0, "Thu, 01 Jan 1970 05:30:00 +0530"},
      {"<-0330>3:30", 1700000000, "Tue, 14 Nov 2023 18:43:20 -0330"},
  };
  const char* saved = std::getenv("TZ");
  const std::string saved_tz = saved ? saved : "";
  for (const Case& c : kCases) {
    setenv("TZ", c.tz, 1);
    tzset();
    EXPECT_EQ(MessageDateText(c.moment), c.text) << "TZ=" << c.tz;
  }
  if (saved)
    setenv("TZ", saved_tz.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

MailMessage SampleMessage() {
  MailMessage m;
  m.subject = "Greetings";
  m.from = {"Anna", "anna@example.org"};
  m.sender = {"", "anna@example.org"};
  m.reply_to = {{"Anna", "anna@example.org"}};
  m.recipients = {{"", "bob@example.org"}, {"Berg, Carl", "carl@example.org"}};
  m.body = {"Hello,", ".hidden dot", "", "."};
  return m;
}

TEST(SmtpFormatTest, MessageHeadersInOrderEmptyOnesLeftOut) {
  MailMessage m = SampleMessage();
  m.sender = {};
  const std::string data = FormatMessageData(m, "", 0);
  const std::string expected_start =
      "From: Anna <anna@example.org>\r\n"
      "Subject: Greetings\r\n"
      "To: bob@example.org, \"Berg, Carl\" <carl@example.org>\r\n"
      "Reply-To: Anna <anna@example.org>\r\n"
      "Date: ";
  EXPECT_EQ(data.substr(0, expected_start.size()), expected_start);
  // X-Mailer only with a mail agent; the body follows the empty line, dot-stuffed.
  EXPECT_NE(data.find("\r\nX-Priority: 3\r\n\r\nHello,\r\n..hidden dot\r\n\r\n..\r\n"),
            std::string::npos)
      << data;
  EXPECT_NE(
      FormatMessageData(m, "Agent 1", 0).find("\r\nX-Priority: 3\r\nX-Mailer: Agent 1\r\n\r\n"),
      std::string::npos);
}

TEST(SmtpFormatTest, HeaderValuesCannotAddHeaders) {
  MailMessage m = SampleMessage();
  m.subject = "Hi\r\nBcc: victim@example.org\nX: y\rZ";
  const std::string data = FormatMessageData(m, "", 0);
  EXPECT_NE(data.find("Subject: Hi Bcc: victim@example.org X: y Z\r\n"), std::string::npos);
  EXPECT_EQ(data.find("\r\nBcc:"), std::string::npos);
}

TEST(SmtpFormatTest, BodyLinesWithBreaksOfTheirOwnAreStuffedToo) {
  MailMessage m;
  m.body = {"one\r\n.\r\ntwo", "three\n.four"};
  const std::string data = FormatMessageData(m, "", 0);
  EXPECT_NE(data.find("\r\n\r\none\r\n..\r\ntwo\r\nthree\r\n..four\r\n"), std::string::npos)
      << data;
}

TEST(SmtpFormatTest, LongHeadersAreFoldedWithoutChangingTheirValue) {
  MailMessage m;
  for (int i = 0; i < 12; ++i)
    m.recipients.push_back({"", "user" + std::to_string(i) + "@example.org"});
  const std::string data = FormatMessageData(m, "", 0);
  const std::string to_block = data.substr(0, data.find("\r\nDate:"));
  std::string unfolded;
  size_t start = 0;
  for (size_t end; (end = to_block.find("\r\n", start)) != std::string::npos; start = end + 2) {
    EXPECT_LE(end - start, 78u);
    EXPECT_EQ(to_block[end + 2], ' ');  // every break is a fold before a blank
    unfolded += to_block.substr(start, end - start);
  }
  EXPECT_LE(to_block.size() - start, 78u);
  unfolded += to_block.substr(start);
  EXPECT_EQ(unfolded, "To: " + FormatAddressList(m.recipients));
}

// A client with short limits, so that a silent server fails a test quickly.
void UseShortTimeouts(SmtpClient& client) {
  client.SetTimeouts(milliseconds(2000), milliseconds(300));
}

TEST(SmtpClientTest, DeliversToARealServer) {
  MailSink sink;
  SmtpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(sink.port());
  client.SetMailAgent("Test Agent");
  client.Connect();
  ASSERT_TRUE(client.Connected());
  client.Send(SampleMessage());
  MailMessage second;
  second.from = {"", "zed@example.org"};
  second.recipients = {{"", "yan@example.org"}};
  second.subject = "Second";
  client.Send(second);  // "Rset" starts each transaction afresh in the same session
  client.Disconnect();
  EXPECT_FALSE(client.Connected());

  const std::vector<testing::ReceivedMail> mails = sink.Messages();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].mail_from, "anna@example.org");
  EXPECT_EQ(mails[0].rcpt_tos, (std::vector<std::string>{"bob@example.org", "carl@example.org"}));
  EXPECT_EQ(mails[0].HeaderNames(),
            (std::vector<std::string>{"From", "Subject", "To", "Sender", "Reply-To", "Date",
                                      "X-Priority", "X-Mailer"}));
  EXPECT_EQ(mails[0].Header("X-Mailer"), "Test Agent");
  EXPECT_EQ(mails[0].Body(), "Hello,\r\n.hidden dot\r\n\r\n.\r\n");
  EXPECT_EQ(mails[1].mail_from, "zed@example.org");
  EXPECT_EQ(mails[1].rcpt_tos, std::vector<std::string>{"yan@example.org"});
  EXPECT_EQ(mails[1].Header("Subject"), "Second");
}

TEST(SmtpClientTest, CommandsInOrderAndNoAuthentication) {
  PeerScript script;
  script.replies["EHLO"] = "250-peer.test\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME\r\n";
  ScriptedSmtpPeer peer(script);
  SmtpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(peer.port());
  client.SetUserId("user");
  client.SetPassword("secret");
  client.Connect();
  EXPECT_EQ(client.AuthMechanisms(), (std::vector<std::string>{"PLAIN", "LOGIN"}));
  MailMessage m;
  m.from = {"", "a@x"};
  m.recipients = {{"", "b@x"}};
  m.cc_list = {{"", "c@x"}};
  m.bcc_list = {{"", "d@x"}};
  m.body = {"text"};
  client.Send(m);
  client.Disconnect();

  std::vector<std::string> got = peer.Received();
  ASSERT_GE(got.size(), 8u);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_EQ(got[0], std::string("ehlo ") + host);
  const std::vector<std::string> envelope(got.begin() + 1, got.begin() + 7);
  EXPECT_EQ(envelope, (std::vector<std::string>{"Rset", "Mail from:<a@x>", "RCPT to:<b@x>",
                                                "RCPT to:<c@x>", "RCPT to:<d@x>", "Data"}));
  EXPECT_EQ(got[got.size() - 3], "text");
  EXPECT_EQ(got[got.size() - 2], ".");
  EXPECT_EQ(got.back(), "Quit");
  for (const std::string& line : got) {
    EXPECT_NE(line.rfind("AUTH", 0), 0u) << line;
    EXPECT_EQ(line.find("secret"), std::string::npos) << line;
    EXPECT_NE(line, "Bcc: d@x");
  }
}

// Replies that refuse: what the client throws, and whether its session survives.
TEST(SmtpClientTest, RefusalsCarryTheServerText) {
  struct Case {
    const char* what;
    PeerScript script;
    bool fails_at_connect;
    std::string message;
    bool connected_after;
  };
  auto with = [](std::string greeting, std::map<std::string, std::string> replies) {
    PeerScript s;
    if (!greeting.empty()) s.greeting = greeting;
    s.replies = std::move(replies);
    return s;
  };
  const std::vector<Case> cases = {
      {"greeting not 220", with("554 No service here\r\n", {}), true, "No service here", false},
      {"ehlo and helo refused",
       with("", {{"EHLO", "502 No ehlo\r\n"}, {"HELO", "501 Go away\r\n"}}), true, "Go away",
       false},
      {"recipient rejected", with("", {{"RCPT", "550 5.1.1 Unknown user\r\n"}}), false,
       "5.1.1 Unknown user", true},
      {"sender rejected, multi-line", with("", {{"MAIL", "553-Bad sender\r\n553 Try again\r\n"}}),
       false, "Bad sender\r\nTry again", true},
      {"data refused", with("", {{"DATA", "451 Later\r\n"}}), false, "Later", true},
      {"message refused", with("", {{".", "552 Too big\r\n"}}), false, "Too big", true},
      {"reply without text", with("", {{"RCPT", "550\r\n"}}), false, "550", true},
      {"not a reply", with("", {{"MAIL", "hello there\r\n"}}), false,
       "The mail server sent an invalid reply: hello there", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedSmtpPeer peer(c.script);
    SmtpClient client;
    UseShortTimeouts(client);
    client.SetHost("127.0.0.1");
    client.SetPort(peer.port());
    MailMessage m;
    m.from = {"", "a@x"};
    m.recipients = {{"", "b@x"}};
    try {
      client.Connect();
      EXPECT_FALSE(c.fails_at_connect);
      client.Send(m);
      ADD_FAILURE() << "Send did not fail";
    } catch (const QorsvError& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_EQ(client.Connected(), c.connected_after);
  }
}

TEST(SmtpClientTest, HeloWhenEhloIsRefused) {
  PeerScript script;
  script.replies["EHLO"] = "500 Command not recognized\r\n";
  ScriptedSmtpPeer peer(script);
  SmtpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(peer.port());
  client.Connect();
  EXPECT_TRUE(client.Connected());
  client.Disconnect();
  const std::vector<std::string> got = peer.Received();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1].rfind("Helo ", 0), 0u);
  EXPECT_EQ(got[2], "Quit");
}

TEST(SmtpClientTest, ASilentServerTimesOut) {
  struct Case {
    const char* what;
    PeerScript script;
    bool fails_at_connect;
  };
  PeerScript no_greeting;
  no_greeting.greeting = "";
  PeerScript silent_after_data;
  silent_after_data.replies["."] = "";
  const Case cases[] = {{"no greeting", no_greeting, true},
                        {"no answer to the message", silent_after_data, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedSmtpPeer peer(c.script);
    SmtpClient client;
    UseShortTimeouts(client);
    client.SetHost("127.0.0.1");
    client.SetPort(peer.port());
    MailMessage m;
    m.recipients = {{"", "b@x"}};
    try {
      client.Connect();
      EXPECT_FALSE(c.fails_at_connect);
      client.Send(m);
      ADD_FAILURE() << "no time-out";
    } catch (const QorsvError& e) {
      EXPECT_STREQ(e.what(), "The mail server did not answer in time");
    }
    // A reply that may still come would be out of step: the session is closed.
    EXPECT_FALSE(client.Connected());
    client.Disconnect();  // nothing left to close
  }
}

TEST(SmtpClientTest, SessionMisuseAndUnreachableServer) {
  SmtpClient client;
  UseShortTimeouts(client);
  EXPECT_THROW(
      {
        try {
          client.Send(MailMessage{});
        } catch (const QorsvError& e) {
          EXPECT_STREQ(e.what(), "Not connected");
          throw;
        }
      },
      QorsvError);

  // A port that nothing listens on: take a free one and close it again.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  const uint16_t port = ntohs(address.sin_port);
  client.SetHost("127.0.0.1");
  client.SetPort(port);
  try {
    client.Connect();
    ADD_FAILURE() << "connected to a closed port";
  } catch (const QorsvError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Could not connect to 127.0.0.1:" + std::to_string(port) + ": Connection refused");
  }
  EXPECT_FALSE(client.Connected());

  ScriptedSmtpPeer peer{PeerScript{}};
  client.SetHost("127.0.0.1");
  client.SetPort(peer.port());
  client.Connect();
  try {
    client.Connect();
    ADD_FAILURE() << "second connect accepted";
  } catch (const QorsvError& e) {
    EXPECT_STREQ(e.what(), "Already connected");
  }
  EXPECT_TRUE(client.Connected());
}

TEST(SmtpClientTest, AnAddressWithALineBreakSendsNothing) {
  ScriptedSmtpPeer peer{PeerScript{}};
  SmtpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(peer.port());
  client.Connect();
  MailMessage m;
  m.from = {"", "a@x"};
  m.recipients = {{"", "b@x>\r\nRCPT to:<victim@x"}};
  EXPECT_THROW(client.Send(m), QorsvError);
  EXPECT_TRUE(client.Connected());
  client.Disconnect();
  const std::vector<std::string> got = peer.Received();
  ASSERT_EQ(got.size(), 2u);  // the greeting exchange and "Quit", nothing in between
  EXPECT_EQ(got[1], "Quit");
}

}  // namespace
}  // namespace qorsv
