// Natives over the text-file handles, the output slots and the operator's message box.
#include "console/operator_messages.h"
#include "scripthost/echo_slots.h"
#include "scripthost/native_groups.h"
#include "scripthost/text_files.h"

namespace qorsv {
namespace {

using script::NativeCall;

// A PChar argument: the text up to its first NUL.
std::string PCharArg(const NativeCall& call, int index) {
  std::string text = call.Str(index);
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace

void AddTextOutputNatives(NativeFunctionMap& natives) {
  natives["ASSIGN_TEXTFILE"] = [](NativeCall& call) {
    call.ReturnInt(ScriptFiles().Assign(call.Str(0)));
  };
  natives["RESET_TEXTFILE"] = [](NativeCall& call) { ScriptFiles().Reset(call.Int(0)); };
  natives["READLN_TEXTFILE"] = [](NativeCall& call) {
    call.ReturnStr(ScriptFiles().ReadLine(call.Int(0)));
  };
  natives["CLOSEFILE_TEXTFILE"] = [](NativeCall& call) { ScriptFiles().CloseFile(call.Int(0)); };
  natives["WRITELNTOTEXTFILE"] = [](NativeCall& call) {
    ScriptFiles().WriteLine(call.Int(0), call.Str(1));
  };
  natives["WRITETOTEXTFILE"] = [](NativeCall& call) {
    ScriptFiles().Write(call.Int(0), call.Str(1));
  };
  natives["REWRITE_TEXTFILE"] = [](NativeCall& call) { ScriptFiles().Rewrite(call.Int(0)); };
  natives["APPEND_TEXTFILE"] = [](NativeCall& call) { ScriptFiles().Append(call.Int(0)); };
  // Closing and reopening at the end is what gets pending output onto the disk.
  natives["FLUSH_TEXTFILE"] = [](NativeCall& call) { ScriptFiles().Append(call.Int(0)); };
  natives["IS_EOF"] = [](NativeCall& call) { call.ReturnBool(ScriptFiles().Eof(call.Int(0))); };

  natives["MSG"] = [](NativeCall& call) { ShowOperatorMessageAndWait(call.Str(0)); };
  natives["SHOWMESSAGE"] = natives["MSG"];

  natives["WRITE_HTML"] = [](NativeCall& call) {
    ScriptEchoSlots().Append(call.Int(1), PCharArg(call, 0));
  };
  natives["NEWLINE"] = [](NativeCall& call) { ScriptEchoSlots().Append(call.Int(0), "\r\n"); };
}

}  // namespace qorsv
