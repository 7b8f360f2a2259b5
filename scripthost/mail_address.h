// Reading the address texts that scripts hand to the mail functions.
//
// mail_sender and mail_recipients pass free text such as "Anna <anna@example.org>",
// "anna@example.org (Anna)" or a comma-separated list of those. These functions turn it into
// MailAddress values for the shared message. They never fail: a text that does not parse gives
// an address whose name and address text are empty. Pure functions, callable from any thread.
#pragma once

#include <string>
#include <vector>

#include "transport/smtp_client.h"

namespace qorsv {

// One address: "name <address>", "address (name)" or a bare address text (taken as it stands,
// blanks included). Quotes around the name, double or single, are removed.
MailAddress ParseMailAddress(const std::string& text);

// A list: the text is cut at every comma outside double quotes, the pieces trimmed of blanks,
// empty pieces skipped and each of the others read by ParseMailAddress.
std::vector<MailAddress> ParseMailAddressList(const std::string& text);

// The lines of a message body: the text cut at CR LF, CR or LF; a break at the very end adds no
// empty line.
std::vector<std::string> SplitBodyLines(const std::string& text);

}  // namespace qorsv
