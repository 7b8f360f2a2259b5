// The preprocessor of the script dialect: expands directives before compilation.
//
// The script runner creates one TPSPreProcessor per run, sets ResolveInclude and calls
// Preprocess with the main file's name and text. Directives are written "{$NAME argument}":
// I and INCLUDE insert the preprocessed content of another file (found through ResolveInclude,
// nested at most 20 deep); DEFINE and UNDEF add and remove symbols; IFDEF, IFNDEF, ELSE and
// ENDIF select regions. Each directive, and all text of an inactive region, is replaced by blanks
// of the same length with its line breaks kept, so rows and columns in the output match the
// source. Directive errors are raised as ScriptEngineError with the exact message text.
//
// Threading: an instance is used by one thread at a time; instances share nothing.
#pragma once

#include <functional>
#include <string>

namespace qorsv::script {

// What an include resolver answers for one include directive.
struct IncludeFile {
  bool found = false;
  std::string name;  // the resolved name: used in messages and as the calling name of its includes
  std::string text;  // the whole file content when found
};

class TPSPreProcessor {
 public:
  // Called for every include directive with the name of the file holding the directive and the
  // directive's argument. Without a resolver every include is "not found".
  std::function<IncludeFile(const std::string& calling_name, const std::string& name)>
      ResolveInclude;

  // Expands the directives of `main_text`, which stands for the file `main_name` (used in
  // messages only; nothing is read from disk). Throws ScriptEngineError on any directive error.
  std::string Preprocess(const std::string& main_name, const std::string& main_text);
};

}  // namespace qorsv::script
