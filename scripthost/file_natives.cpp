// Natives for operating-system file handles, file and directory functions and path texts.
#include <cstdint>

#include "scripthost/file_functions.h"
#include "scripthost/file_paths.h"
#include "scripthost/native_groups.h"
#include "scripthost/shared_files.h"

namespace qorsv {
namespace {

using script::NativeCall;

int32_t Int32Arg(const NativeCall& call, int index) {
  return static_cast<int32_t>(call.Int(index));
}

// A native taking one text and answering a text.
template <std::string (*Function)(const std::string&)>
void TextToText(NativeCall& call) {
  call.ReturnStr(Function(call.Str(0)));
}

// A native taking one text and answering a boolean.
template <bool (*Function)(const std::string&)>
void TextToBool(NativeCall& call) {
  call.ReturnBool(Function(call.Str(0)));
}

}  // namespace

void AddFileNatives(NativeFunctionMap& natives) {
  natives["FILEEXISTS"] = TextToBool<scriptapi::FileExists>;
  natives["FILEOPEN"] = [](NativeCall& call) {
    call.ReturnInt(scriptapi::FileOpen(call.Str(0), static_cast<uint32_t>(call.Int(1))));
  };
  // One implementation serves both declarations; Rights of the two-parameter form is ignored.
  natives["FILECREATE"] = [](NativeCall& call) {
    call.ReturnInt(scriptapi::FileCreate(call.Str(0)));
  };
  natives["FILEISOPEN"] = TextToBool<scriptapi::FileIsOpen>;
  natives["FILESEEK"] = [](NativeCall& call) {
    call.ReturnInt(scriptapi::FileSeek(Int32Arg(call, 0), Int32Arg(call, 1), Int32Arg(call, 2)));
  };
  natives["FILECLOSE"] = [](NativeCall& call) { scriptapi::FileClose(Int32Arg(call, 0)); };
  natives["FILEAGE"] = [](NativeCall& call) { call.ReturnInt(scriptapi::FileAge(call.Str(0))); };
  natives["DIRECTORYEXISTS"] = TextToBool<scriptapi::DirectoryExists>;
  natives["FORCEDIRECTORIES"] = TextToBool<scriptapi::ForceDirectories>;
  natives["DELETEFILE"] = TextToBool<scriptapi::DeleteFile>;
  natives["RENAMEFILE"] = [](NativeCall& call) {
    call.ReturnBool(scriptapi::RenameFile(call.Str(0), call.Str(1)));
  };
  natives["EXTRACTFILEPATH"] = TextToText<scriptapi::ExtractFilePath>;
  natives["EXTRACTFILEDIR"] = TextToText<scriptapi::ExtractFileDir>;
  natives["EXTRACTFILEDRIVE"] = TextToText<scriptapi::ExtractFileDrive>;
  natives["EXTRACTFILENAME"] = TextToText<scriptapi::ExtractFileName>;
  natives["EXTRACTFILEEXT"] = TextToText<scriptapi::ExtractFileExt>;
  natives["EXPANDFILENAME"] = TextToText<scriptapi::ExpandFileName>;
  natives["GETCURRENTDIR"] = [](NativeCall& call) { call.ReturnStr(scriptapi::GetCurrentDir()); };
  natives["FILEMOVE"] = [](NativeCall& call) { scriptapi::FileMove(call.Str(0), call.Str(1)); };
}

}  // namespace qorsv
