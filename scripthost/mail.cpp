// The mail natives: setters of the shared client and message, the session calls, the lock flag.

#include "scripthost/mail.h"

#include <atomic>
#include <mutex>
#include <string>

#include "console/product.h"
#include "scripthost/mail_address.h"

namespace qorsv {
namespace {

using script::NativeCall;

constexpr char kMailAgentPrefix[] = "..::TorvaneServer::.. Server ";

struct SharedMail {
  std::mutex mutex;
  MailMessage message;
};

SharedMail& Mail() {
  static SharedMail mail;
  return mail;
}

// Advisory only: reading and setting it are single atomic steps, with no test-and-set.
std::atomic<bool> MailLock{false};

// Runs `change` on the shared message under its lock.
template <typename Change>
void ChangeMessage(Change change) {
  SharedMail& mail = Mail();
  std::lock_guard lock(mail.mutex);
  change(mail.message);
}

void MailHost(NativeCall& call) { SharedSmtpClient().SetHost(call.Str(0)); }

void MailPort(NativeCall& call) { SharedSmtpClient().SetPort(static_cast<uint16_t>(call.Int(0))); }

void MailUserId(NativeCall& call) { SharedSmtpClient().SetUserId(call.Str(0)); }

void MailPassword(NativeCall& call) { SharedSmtpClient().SetPassword(call.Str(0)); }

void MailSubject(NativeCall& call) {
  const std::string subject = call.Str(0);
  ChangeMessage([&](MailMessage& m) { m.subject = subject; });
}

void MailBody(NativeCall& call) {
  std::vector<std::string> lines = SplitBodyLines(call.Str(0));
  ChangeMessage([&](MailMessage& m) { m.body = std::move(lines); });
}

void MailRecipients(NativeCall& call) {
  std::vector<MailAddress> recipients = ParseMailAddressList(call.Str(0));
  ChangeMessage([&](MailMessage& m) { m.recipients = std::move(recipients); });
}

// The sender text sets three fields: From parsed as one address, Sender's address text as it
// stands, Reply-To parsed as a list.
void MailSender(NativeCall& call) {
  const std::string sender = call.Str(0);
  MailAddress from = ParseMailAddress(sender);
  std::vector<MailAddress> reply_to = ParseMailAddressList(sender);
  ChangeMessage([&](MailMessage& m) {
    m.from = std::move(from);
    m.sender.address = sender;
    m.reply_to = std::move(reply_to);
  });
}

void MailSenderName(NativeCall& call) {
  const std::string name = call.Str(0);
  SharedSmtpClient().SetMailAgent(std::string(kMailAgentPrefix) + kProductBanner);
  ChangeMessage([&](MailMessage& m) { m.sender.name = name; });
}

void MailConnect(NativeCall&) { SharedSmtpClient().Connect(); }

void MailDisconnect(NativeCall&) { SharedSmtpClient().Disconnect(); }

void MailSend(NativeCall&) { SharedSmtpClient().Send(SharedMailMessage()); }

void LockMail(NativeCall&) { MailLock = true; }

void UnlockMail(NativeCall&) { MailLock = false; }

void MailIsLocked(NativeCall& call) { call.ReturnBool(MailLock); }

}  // namespace

SmtpClient& SharedSmtpClient() {
  static SmtpClient smtp;
  return smtp;
}

MailMessage SharedMailMessage() {
  SharedMail& mail = Mail();
  std::lock_guard lock(mail.mutex);
  return mail.message;
}

void ClearMailLock() { MailLock = false; }

const std::vector<NativeEntry>& MailNatives() {
  static const std::vector<NativeEntry> natives = {
      {"procedure mail_host(host:string);", "MAIL_HOST", MailHost},
      {"procedure mail_port(port:word);", "MAIL_PORT", MailPort},
      {"procedure mail_userid(userid:string);", "MAIL_USERID", MailUserId},
      {"procedure mail_password(pwd:string);", "MAIL_PASSWORD", MailPassword},
      {"procedure mail_subject(subj:string);", "MAIL_SUBJECT", MailSubject},
      {"procedure mail_body(body:string);", "MAIL_BODY", MailBody},
      {"procedure mail_recipients(recp:string);", "MAIL_RECIPIENTS", MailRecipients},
      {"procedure mail_sender(sender:String);", "MAIL_SENDER", MailSender},
      {"procedure mail_sendername(sname:string);", "MAIL_SENDERNAME", MailSenderName},
      {"procedure mail_connect;", "MAIL_CONNECT", MailConnect},
      {"procedure mail_disconnect;", "MAIL_DISCONNECT", MailDisconnect},
      {"procedure mail_send;", "MAIL_SEND", MailSend},
      {"procedure mail_lock;", "MAIL_LOCK", LockMail},
      {"procedure mail_unlock;", "MAIL_UNLOCK", UnlockMail},
      {"function mail_islocked:boolean;", "MAIL_ISLOCKED", MailIsLocked},
  };
  return natives;
}

}  // namespace qorsv
