// Request data capture: the form fields of a request (from its query and body, in pairs or as
// multipart form data with file uploads) into Tparams, and the cookies of a "Cookie" header
// line into Tcook.
//
// Called by the dispatcher on the connection's thread; touches only the tables it is given and,
// for uploads, new files named by TempScriptName.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "http/form_text.h"
#include "scripthost/request_records.h"

namespace qorsv {

// Stores the data of one uploaded file and returns the path it was stored under.
using UploadWriter = std::function<std::string(const FormPiece& data)>;

// The usual UploadWriter: a new file TempScriptName() + ".upload" holding the data. When the file
// cannot be created nothing is written and nothing is reported; the path is returned anyway.
std::string WriteUploadFile(const FormPiece& data);
// The same in another program directory (with its trailing "/").
std::string WriteUploadFileIn(const std::string& program_dir, const FormPiece& data);

// Fills params from the text (the request's UnparsedParams or SpooledParams); params starts
// empty. A text that begins with "---" is multipart form data, any other text a list of
// name=value pairs joined by "&". Entries beyond the table's limit are ignored (surplus uploads
// are not stored).
void CaptureParams(const FormText& text, Tparams& params,
                   const UploadWriter& write_upload = WriteUploadFile);
inline void CaptureParams(std::string_view text, Tparams& params,
                          const UploadWriter& write_upload = WriteUploadFile) {
  CaptureParams(FormText(text), params, write_upload);
}

// Replaces the cookies with those of one "Cookie" header value. A piece without "=" makes the
// whole header yield nothing: the table is then left exactly as it was.
void CaptureCookies(std::string_view text, Tcook& cookies);

// Decodes a pair's value: "+" is a blank, "%" and two hex digits the byte; when any "%" lacks
// its two hex digits the value is kept exactly as it arrived.
std::string DecodeParamValue(std::string_view value);

}  // namespace qorsv
