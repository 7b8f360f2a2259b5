// The compiler of the script dialect: source text in, program image and messages out.
//
// The script runner creates one TPSPascalCompiler per run. At the start of every compilation the
// compiler declares its standard types and routines, then asks the DeclareUnit hook for "SYSTEM"
// (where the host gives its native declarations with DeclareNative and its host variables with
// DeclareHostVariable), then for each unit a `uses` clause names. Compile fills the message list
// whether it succeeds or not; after a success ProgramImage holds the bytes TPSExec::Load reads.
//
// Messages read "[Error] (row:col): text" (also "Warning" and "Hint"), rows and columns 1-based
// in the compiled text.
//
// Threading: an instance is used by one thread at a time; instances share nothing.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "scriptengine/engine_error.h"

namespace qorsv::script {

enum class TPSPascalCompilerMessageKind { kError, kWarning, kHint };

struct TPSPascalCompilerMessage {
  TPSPascalCompilerMessageKind kind = TPSPascalCompilerMessageKind::kError;
  std::string module_name;  // always empty: the compiler sees one text
  int row = 0;
  int col = 0;
  std::string text;

  // "[Error] (12:5): Unknown identifier 'X'".
  std::string MessageToString() const;
};

namespace compiler_internal {
class CompilerState;
}

// Native declaration texts checked once and shared by any number of compilations, on any
// threads: a compiler given them (TPSPascalCompiler::DeclareNatives) reads a declaration only when
// a script names it, so a host with many natives pays for the few a script uses. The last text
// of a name is the one that counts, as with DeclareNative.
class NativeDeclarations {
 public:
  // Throws ScriptEngineError "Unable to register function <text>" for a text that does not
  // declare a routine.
  explicit NativeDeclarations(const std::vector<std::string>& texts);
  // For texts known to be good (the engine's own): not checked.
  struct Unchecked {};
  NativeDeclarations(const std::vector<std::string>& texts, Unchecked);
  // The declaration of the upper-case `name`, or nullptr.
  const std::string* Find(const std::string& upper_name) const;
  // Every upper-case name declared with its text.
  const std::unordered_map<std::string, std::string>& ByName() const { return by_name_; }

 private:
  std::unordered_map<std::string, std::string> by_name_;
};

class TPSPascalCompiler {
 public:
  TPSPascalCompiler();
  ~TPSPascalCompiler();
  TPSPascalCompiler(const TPSPascalCompiler&) = delete;
  TPSPascalCompiler& operator=(const TPSPascalCompiler&) = delete;

  // Called with "SYSTEM" at the start of Compile, after the standard declarations, and then for
  // each unit of a `uses` clause. Returning false fails the compilation; a thrown exception
  // fails it with the exception's text as the error message. Without a hook only "SYSTEM" is
  // accepted.
  std::function<bool(TPSPascalCompiler& compiler, const std::string& unit_name)> DeclareUnit;

  // Called for every routine the script declares with an `external` clause, with the routine's
  // name and the clause's string. Returning false fails with "Invalid External"; a thrown
  // exception fails with its text. The default hook accepts the library-function convention
  // ("Function@Library [Convention [DELAYLOAD]]").
  std::function<bool(const std::string& routine_name, const std::string& external_text)>
      DeclareExternal;

  // When set, the script may end without a main `begin ... end.` block.
  bool MainBlockOptional = false;

  // Byte offsets, in the text given to Compile, of literals (a number or a single-quoted string
  // without line breaks) whose values the host sets after loading instead of compiling them in.
  // Literal i becomes a hidden read-only global variable "#LITERAL<i>" of the type the literal
  // has (Integer or Int64 by its range, Char for one character, else string), which the host
  // sets with TPSExec::SetVariable before calling anything. A constant declared from such a
  // literal stands for its variable; where the value itself is required (an array bound, a
  // case label) the compilation fails, so a host falls back to compiling without them.
  std::vector<size_t> LateLiterals;

  // After a successful compilation with LateLiterals: true when every late literal was found
  // and no value was needed while compiling. The image then serves every text that differs
  // from the compiled one only in the values of those literals, as long as each keeps its type.
  bool LateLiteralsReusable() const { return late_literals_reusable_; }

  // Declares one native function from its declaration text, for example
  // "function inttostr(i: Longint): string;". A later declaration of the same name replaces the
  // earlier one. Throws ScriptEngineError "Unable to register function <text>" when the text
  // does not parse.
  void DeclareNative(const std::string& declaration);
  // Declares every native of `natives`, as DeclareNative would one after the other, each read
  // only if the script names it.
  void DeclareNatives(std::shared_ptr<const NativeDeclarations> natives);

  // Declares the host class library: the component classes (TObject, TPersistent, TComponent),
  // the collection and stream classes (TStrings, TStringList, TList, TStream, TMemoryStream,
  // TFileStream, TStringStream), the graphics, control and form classes, the automation functions
  // CreateOleObject and GetActiveOleObject, and the standard control classes. A class's members
  // are read the first time a script uses the class. The runtime binds them through
  // TPSExec::SetClassImporter.
  void DeclareClassLibrary();

  // Declares a global script variable of the host class `class_name` (a class of the library
  // once it is declared, else an opaque object type) that the host sets with
  // TPSExec::SetVariableObject.
  void DeclareHostVariable(const std::string& name, const std::string& class_name);

  // Compiles `text`. True on success; the messages are filled either way.
  bool Compile(const std::string& text);

  int MessageCount() const;
  // The text form of message i (0-based), in the order the messages were produced.
  std::string MessageText(int index) const;
  const TPSPascalCompilerMessage& Message(int index) const;

  // The program image of the last successful compilation (empty otherwise).
  const std::string& ProgramImage() const;

 private:
  std::unique_ptr<compiler_internal::CompilerState> state_;
  std::vector<TPSPascalCompilerMessage> messages_;
  std::string image_;
  // Declarations made outside Compile, repeated into the fresh state of a later Compile.
  std::vector<std::function<void(compiler_internal::CompilerState&)>> standing_declarations_;
  bool compiling_ = false;
  bool used_ = false;
  bool late_literals_reusable_ = false;
};

}  // namespace qorsv::script
