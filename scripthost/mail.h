// The script mail functions and the process-wide mail objects they act on.
//
// There is one SMTP client (`smtp`) and one message (`mail`) in the whole program. Every script
// on every connection sets fields of these two, connects, sends and disconnects through them,
// and whatever a script sets stays set for the next one. The flag `MailLock` lets scripts agree
// among themselves who uses them (mail_lock, mail_unlock, mail_islocked); it blocks nobody, and
// only showing the console window clears it (ClearMailLock).
//
// The script runner registers MailNatives() with every run. Threading: natives run on the
// connection threads, any number at once. Each call is a whole step on its own (a field set, a
// connect, a send), so concurrent calls never tear an object apart; nothing orders the steps
// of different scripts except the scripts' own use of `MailLock`. A send works on a copy of the
// message taken when it starts.
#pragma once

#include <vector>

#include "scripthost/native_entry.h"
#include "transport/smtp_client.h"

namespace qorsv {

// The 15 mail natives, in the order scripts see their declarations.
const std::vector<NativeEntry>& MailNatives();

// The console's FormShow clears the flag each time the window is shown.
void ClearMailLock();

// The process-wide client and a copy of the process-wide message, for the console and tests.
SmtpClient& SharedSmtpClient();
MailMessage SharedMailMessage();

}  // namespace qorsv
