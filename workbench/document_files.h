// Whole-file reads and writes for the workbench's documents and templates, with the file errors
// the operator sees, and the name of a document's backup copy.
//
// Callable from any thread.
#pragma once

#include <string>

namespace qorsv {

// The file's bytes. Throws QorsvError "Cannot open file "PATH". REASON" when it cannot be read.
std::string ReadDocumentFile(const std::string& path);
// Creates or truncates the file and writes the bytes. Throws QorsvError
// "Cannot create file "PATH". REASON" when that fails.
void WriteDocumentFile(const std::string& path, const std::string& bytes);
bool RegularFileExists(const std::string& path);

// The file's extension with its dot (".qor"), from the last "." of its name; empty when the
// name has none.
std::string FileExtension(const std::string& path);
// The backup copy written when a document is opened: page.qor gives page.~qor, beside it. A
// name without an extension gets "~" appended (page gives page~).
std::string BackupPath(const std::string& path);

}  // namespace qorsv
