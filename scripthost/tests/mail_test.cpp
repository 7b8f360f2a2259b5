#include "scripthost/mail.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include "console/product.h"
#include "scripthost/tests/fake_native_call.h"
#include "transport/tests/smtp_peers_support.h"

namespace qorsv {
namespace {

using testing::FakeNativeCall;
using testing::MailSink;
using testing::PeerScript;
using testing::ReceivedMail;
using testing::ScriptedSmtpPeer;

// Calls the mail native registered under `name` as a script would, returning the call.
FakeNativeCall Call(const std::string& name, std::vector<FakeNativeCall::Value> args = {}) {
  for (const NativeEntry& entry : MailNatives()) {
    if (entry.registered_name == name) {
      FakeNativeCall call(std::move(args));
      entry.function(call);
      return call;
    }
  }
  ADD_FAILURE() << "no native " << name;
  return FakeNativeCall();
}

std::string ErrorOf(const std::string& name) {
  try {
    Call(name);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

// The shared objects outlive every test; each test starts from a session that is closed and a
// client that talks to `port` quickly.
void UseServer(uint16_t port) {
  try {
    SharedSmtpClient().Disconnect();
  } catch (const std::exception&) {
    // a session left by an earlier test: it is closed now either way
  }
  SharedSmtpClient().SetTimeouts(std::chrono::milliseconds(2000), std::chrono::milliseconds(300));
  Call("MAIL_HOST", {"127.0.0.1"});
  Call("MAIL_PORT", {static_cast<int64_t>(port)});
}

TEST(MailTest, DeclarationsAndRegisteredNames) {
  const std::vector<NativeEntry>& natives = MailNatives();
  ASSERT_EQ(natives.size(), 15u);
  EXPECT_EQ(natives.front().declaration, "procedure mail_host(host:string);");
  EXPECT_EQ(natives.back().declaration, "function mail_islocked:boolean;");
  for (const NativeEntry& entry : natives) {
    // The registered name is the declared name in upper case.
    const std::string& d = entry.declaration;
    const size_t start = d.find(' ') + 1;
    const size_t end = d.find_first_of("(:;", start);
    std::string name = d.substr(start, end - start);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(entry.registered_name, name) << d;
    EXPECT_TRUE(entry.function) << d;
  }
}

TEST(MailTest, ScriptSendsMailThroughTheSharedObjects) {
  MailSink sink;
  UseServer(sink.port());
  SharedSmtpClient().SetMailAgent("");  // as no script has called mail_sendername yet
  Call("MAIL_SENDER", {"Anna Berg <anna@example.org>"});
  Call("MAIL_RECIPIENTS", {"bob@example.org, \"Berg, Carl\" <carl@example.org>"});
  Call("MAIL_SUBJECT", {"Minutes"});
  Call("MAIL_BODY", {"Hello,\r\n.see below\r\n"});
  Call("MAIL_USERID", {"anna"});
  Call("MAIL_PASSWORD", {"secret"});
  Call("MAIL_CONNECT");
  Call("MAIL_SEND");
  // A second script sets only the body: the subject and addresses of the first stay.
  Call("MAIL_BODY", {"Second"});
  Call("MAIL_SEND");
  Call("MAIL_DISCONNECT");

  const std::vector<ReceivedMail> mails = sink.Messages();
  ASSERT_EQ(mails.size(), 2u);
  const ReceivedMail& first = mails[0];
  EXPECT_EQ(first.mail_from, "anna@example.org");
  EXPECT_EQ(first.rcpt_tos, (std::vector<std::string>{"bob@example.org", "carl@example.org"}));
  EXPECT_EQ(first.Header("From"), "Anna Berg <anna@example.org>");
  EXPECT_EQ(first.Header("To"), "bob@example.org, \"Berg, Carl\" <carl@example.org>");
  EXPECT_EQ(first.Header("Sender"), "Anna Berg <anna@example.org>");  // the text as passed
  EXPECT_EQ(first.Header("Reply-To"), "Anna Berg <anna@example.org>");
  EXPECT_EQ(first.Header("Subject"), "Minutes");
  EXPECT_EQ(first.Header("X-Priority"), "3");
  EXPECT_TRUE(first.HasHeader("Date"));
  EXPECT_FALSE(first.HasHeader("X-Mailer"));
  EXPECT_EQ(first.Body(), "Hello,\r\n.see below\r\n");  // no empty line added at the end
  EXPECT_EQ(mails[1].Header("Subject"), "Minutes");
  EXPECT_EQ(mails[1].rcpt_tos, first.rcpt_tos);
  EXPECT_EQ(mails[1].Body(), "Second\r\n");
}

TEST(MailTest, SenderNameSetsTheSenderHeaderAndTheMailAgent) {
  MailSink sink;
  UseServer(sink.port());
  Call("MAIL_SENDER", {"anna@example.org"});
  Call("MAIL_SENDERNAME", {"Anna"});
  Call("MAIL_RECIPIENTS", {"bob@example.org"});
  Call("MAIL_CONNECT");
  Call("MAIL_SEND");
  Call("MAIL_DISCONNECT");
  const std::vector<ReceivedMail> mails = sink.Messages();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].Header("Sender"), "Anna <anna@example.org>");
  EXPECT_EQ(mails[0].Header("From"), "anna@example.org");
  EXPECT_EQ(mails[0].Header("X-Mailer"),
            std::string("..::TorvaneServer::.. Server ") + kProductBanner);

  // With a sender text that names someone, the Sender header still holds one address.
  Call("MAIL_SENDER", {"Anna Berg <anna@example.org>"});
  Call("MAIL_CONNECT");
  Call("MAIL_SEND");
  Call("MAIL_DISCONNECT");
  ASSERT_EQ(sink.Messages().size(), 2u);
  EXPECT_EQ(sink.Messages()[1].Header("Sender"), "Anna <anna@example.org>");
  EXPECT_EQ(SharedMailMessage().sender.address, "Anna Berg <anna@example.org>");
}

TEST(MailTest, FailuresReachTheScriptWithTheServerText) {
  {
    PeerScript refusing;
    refusing.greeting = "554 Not today\r\n";
    ScriptedSmtpPeer peer(refusing);
    UseServer(peer.port());
    EXPECT_EQ(ErrorOf("MAIL_CONNECT"), "Not today");
    EXPECT_FALSE(SharedSmtpClient().Connected());
    EXPECT_EQ(ErrorOf("MAIL_SEND"), "Not connected");
    EXPECT_EQ(ErrorOf("MAIL_DISCONNECT"), "(no error)");
  }
  {
    MailSink sink;
    UseServer(sink.port());
    Call("MAIL_SENDER", {"anna@example.org"});
    Call("MAIL_RECIPIENTS", {"reject-me@example.org"});
    Call("MAIL_CONNECT");
    EXPECT_EQ(ErrorOf("MAIL_SEND"), "5.1.1 No such user here");
    // The session stays open: the script can correct the recipients and send again.
    EXPECT_TRUE(SharedSmtpClient().Connected());
    Call("MAIL_RECIPIENTS", {"bob@example.org"});
    Call("MAIL_SEND");
    Call("MAIL_DISCONNECT");
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].rcpt_tos, std::vector<std::string>{"bob@example.org"});
  }
  {
    PeerScript silent;
    silent.greeting = "";
    ScriptedSmtpPeer peer(silent);
    UseServer(peer.port());
    EXPECT_EQ(ErrorOf("MAIL_CONNECT"), "The mail server did not answer in time");
    EXPECT_FALSE(SharedSmtpClient().Connected());
  }
}

TEST(MailTest, LockIsSharedAdvisoryAndClearedByTheConsole) {
  Call("MAIL_UNLOCK");
  EXPECT_FALSE(Call("MAIL_ISLOCKED").ResultBool());
  Call("MAIL_LOCK");
  bool seen_elsewhere = false;
  std::thread other([&] { seen_elsewhere = Call("MAIL_ISLOCKED").ResultBool(); });
  other.join();
  EXPECT_TRUE(seen_elsewhere);
  Call("MAIL_LOCK");  // locking twice blocks nobody
  EXPECT_TRUE(Call("MAIL_ISLOCKED").ResultBool());
  ClearMailLock();
  EXPECT_FALSE(Call("MAIL_ISLOCKED").ResultBool());
}

// Scripts on many connections set the shared message at once; every send must see whole
// values, never a mixture torn by a concurrent change.
TEST(MailTest, ConcurrentScriptsNeverTearTheMessage) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::atomic<int> torn{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string mine = "script" + std::to_string(t);
      for (int i = 0; i < kRounds; ++i) {
        Call("MAIL_SUBJECT", {mine});
        Call("MAIL_SENDER", {mine + " <" + mine + "@x>"});
        Call("MAIL_HOST", {mine});
        const MailMessage m = SharedMailMessage();
        if (m.from.name + "@x" != m.from.address) ++torn;
        if (m.subject.rfind("script", 0) != 0) ++torn;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace qorsv
