// The script runner: turns one script text and one request into output text. The page
// processor calls runscript once for every script block it runs; the command-line runner
// qorscript calls it once for a script file.
//
// A run takes an output slot, puts the generated prelude in front of the script, writes the
// combined text to a temporary ".pfii" file, preprocesses (includes come from the scripts
// folder) and compiles it with the 94 native declarations, reports the compilation to the
// workbench's debugger views, loads the program with the natives, calls the ext.qor and prelude
// routines by name, runs the main block, adds the response cookies and returns what the script
// wrote into its slot.
//
// Failures: a compilation error and a load failure are output texts, not exceptions. A failing
// preprocess leaves as ScriptPreprocessFailure, a failing routine called by name as
// ScriptCallFailure, both carrying the engine's message (the listener answers status 500 with
// it). A runtime error in the main block only ends the main block; so does the time limit, when
// the main block is what exceeds it.
//
// Threading: runs happen on many connection threads at once; each run owns its engine
// instances, its slot and its temporary file. Shared tables (slots, SQL handles, the log, the
// counters) guard themselves.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "scripthost/native_entry.h"
#include "scripthost/request_records.h"
#include "transport/error.h"
#include "transport/http_records.h"

namespace qorsv {

// Preprocessing failed (an include missing, a directive error).
class ScriptPreprocessFailure : public QorsvError {
 public:
  using QorsvError::QorsvError;
};

// A routine the runner calls by name is missing, takes other parameters, or ended with a
// runtime error.
class ScriptCallFailure : public QorsvError {
 public:
  using QorsvError::QorsvError;
};

// The inputs of one run.
struct ScriptRunInput {
  std::string last_visit;             // the prelude's lastvisit; requests hand in an empty text
  std::string script_text;            // the script's lines
  std::string client_address;         // RemoteIP: the prelude's myip and setuserip's argument
  std::string host_name;              // the "host" header's value
  std::string host_root;              // the root directory of that host
  std::string document;               // the requested document
  const RequestData* data = nullptr;  // form fields, header lines and cookies; none when null
  pid_t thread_id = 0;                // the request's identity, owner of its SQL handles
  ResponseInfo* response = nullptr;   // receives the cookies; none when null
  // The program directory with its trailing "/" (scripts, temp, libraries); empty: the
  // directory of the running executable.
  std::string program_dir;
  // The longest the run may take (0: no limit). Past it the script's routine ends with the
  // runtime error TimeLimitMessage(time_limit), which it cannot catch; the routines called by
  // name after the main block (the cookie steps) get as long again. Natives that block (a long
  // SQL statement, a wait for a mail server) are not interrupted: the run ends after they
  // return.
  std::chrono::seconds time_limit{0};
  // Implementations registered after the script API's, so they take their names' place: the
  // command-line runner shows Msg on its standard error instead of the operator's message box.
  std::vector<NativeEntry> native_overrides;
};

// What a caller may want to know of a run besides its output text; filled as the run goes, so
// it also tells how far a failing run came.
struct ScriptRunDetails {
  std::vector<std::string> compiler_messages;
  bool compiled = false;
  bool loaded = false;
  // The program was one kept from an earlier run of the same block, not compiled for this run.
  bool reused_program = false;
  // The message of the runtime error that ended the main block; empty when it ran through.
  std::string main_block_error;
};

class ProgramCache;

// The whole run: log line, timing, temporary file, executescript, clean-up. With `programs`,
// compiled programs are kept there and runs of the same block share them.
std::string runscript(const ScriptRunInput& input, ScriptRunDetails* details = nullptr,
                      ProgramCache* programs = nullptr);

// The run proper, with the temporary file's name given: everything but the logging of the script
// text and duration and the deletion of the temporary file.
std::string executescript(const ScriptRunInput& input, const std::string& temp_file_name,
                          ScriptRunDetails* details = nullptr, ProgramCache* programs = nullptr);

// The runtime error's text of a run that took longer than its time limit.
std::string TimeLimitMessage(std::chrono::seconds limit);

// The text that follows the preprocessed text when the program cannot be loaded.
inline constexpr char kLoadFailureText[] = "qOr EXEC ERROR! Script could not be loaded !";
// The response cookie every run sets, and how long browsers keep it (about 116.6 days).
inline constexpr char kServerCookieName[] = "qorserver";
inline constexpr int64_t kServerCookieMaxAge = 10077682;

}  // namespace qorsv
