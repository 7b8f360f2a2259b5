#include "scripthost/script_api.h"

#include <array>
#include <cctype>

#include "scripthost/conversions.h"
#include "scripthost/mail.h"
#include "scripthost/native_groups.h"
#include "scripthost/sql_handles.h"

namespace qorsv {
namespace {

// Exactly as scripts see them, in the order they are declared.
constexpr std::array<const char*, 94> kDeclarations = {
    "function assign_textfile(FileName:string):integer;",
    "procedure reset_textfile(FileHandle:word);",
    "function readln_textfile(FileHandle:word):string;",
    "procedure closefile_textfile(FileHandle:word);",
    "procedure writelntotextfile(FileHandle:word;s:string);",
    "procedure writetotextfile(FileHandle:word;s:string);",
    "procedure rewrite_textfile(FileHandle:word);",
    "procedure append_textfile(FileHandle:word);",
    "procedure flush_textfile(FileHandle:word);",
    "function is_eof(FileHandle:word):boolean;",
    "procedure Msg(Data: string);",
    "function IntToStr(Value: Integer): string;",
    "function IntToHex(Value: Integer; Digits: Integer): string;",
    "function StrToInt(const S: string): Integer;",
    "procedure Showmessage(Data:string);",
    "procedure write_html(Data:pchar;ue:word);",
    "procedure newline(ue:word);",
    "function FileExists(const FileName: string): Boolean;",
    "function FileOpen(const FileName: string; Mode: LongWord): Integer;",
    "function FileCreate(const FileName: string): Integer;",
    "Function FileIsOpen(Const fname: String): Boolean;",
    "function FileCreate(const FileName: string; Rights: Integer): Integer;",
    "function FileSeek(Handle, Offset, Origin: Integer): Integer;",
    "procedure FileClose(Handle: Integer);",
    "function FileAge(const FileName: string): Integer;",
    "function FileExists(const FileName: string): Boolean;",
    "function DirectoryExists(const Directory: string): Boolean;",
    "function ForceDirectories(Dir: string): Boolean;",
    "function AnsiPos(const Substr, S: string): Integer;",
    "function DeleteFile(const FileName: string): Boolean;",
    "function RenameFile(const OldName, NewName: string): Boolean;",
    "function ExtractFilePath(const FileName: string): string;",
    "function ExtractFileDir(const FileName: string): string;",
    "function ExtractFileDrive(const FileName: string): string;",
    "function ExtractFileName(const FileName: string): string;",
    "function ExtractFileExt(const FileName: string): string;",
    "function ExpandFileName(const FileName: string): string;",
    "function GetCurrentDir: string;",
    "function gethour:word;",
    "function getmin:word;",
    "function getsec:word;",
    "function getmsec:word;",
    "function getyear:word;",
    "function getmonth:word;",
    "function getday:word;",
    "function resolveIPToName(IPAddr: string): string;",
    "function AnsiSameText(const S1: string; const S2: string): Boolean;",
    "function StrLen(const Str: PChar): Cardinal;",
    "procedure randomize;",
    "function random(x:integer):integer;",
    "function stringreplace(S, OldPattern, NewPattern: string):string;",
    "function AnsiUpperCase(const S: string): string;",
    "function AnsiLowerCase(const S: string): string;",
    "function MidStr(const AText: string; const AStart, ACount: Integer): string;",
    "procedure  filemove(source,destination:string);",
    "function FloatToStr(Value: Extended): string;",
    "function StrToFloat(const S: string): Extended;",
    "function sql_getnewhandle(dbn:string):longword;",
    "procedure sql_execute(handle:longword;s:string);",
    "procedure sql_commit(handle:longword);",
    "procedure sql_rollback (handle:longword);",
    "procedure sql_begintransaction(handle:longword);",
    "function sql_TableExists(handle:longword; TableName: string): boolean;",
    "procedure sql_gettable(handle:longword; sql:string);",
    "procedure sql_droptable(handle:longword; s:string);",
    "function sql_getrowcount(handle:longword):longword;",
    "function sql_getcount(handle:longword):longword;",
    "procedure sql_destroy(handle:longword);",
    "function sql_getfieldindex(handle:longword; FieldName:string):longword;",
    "function sql_FieldAsString(handle:longword; FieldName:string):string;",
    "function sql_FieldAsInteger(handle:longword; FieldName:string):Integer;",
    "function sql_FieldAsBoolean(handle:longword; FieldName:string):boolean;",
    "function sql_Next(handle:longword):boolean;",
    "function sql_Previous(handle:longword):boolean;",
    "function sql_Count(handle:longword):longword;",
    "function sql_ColCount(handle:longword):longword;",
    "procedure sql_MoveFirst(handle:longword);",
    "procedure sql_MoveLast(handle:longword);",
    "function sql_freehandles:longword;",
    "procedure mail_host(host:string);",
    "procedure mail_port(port:word);",
    "procedure mail_userid(userid:string);",
    "procedure mail_password(pwd:string);",
    "procedure mail_subject(subj:string);",
    "procedure mail_body(body:string);",
    "procedure mail_recipients(recp:string);",
    "procedure mail_sender(sender:String);",
    "procedure mail_sendername(sname:string);",
    "procedure mail_connect;",
    "procedure mail_disconnect;",
    "procedure mail_send;",
    "procedure mail_lock;",
    "procedure mail_unlock;",
    "function mail_islocked:boolean;",
};

NativeFunctionMap AllNativeFunctions() {
  NativeFunctionMap natives;
  AddTextOutputNatives(natives);
  AddConversionNatives(natives);
  AddFileNatives(natives);
  AddSystemNatives(natives);
  AddSqlNatives(natives, SqlHandles());
  for (const NativeEntry& mail : MailNatives()) natives[mail.registered_name] = mail.function;
  return natives;
}

bool IsIdentifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The routine name a declaration text declares ("procedure  filemove(...)" -> "filemove").
std::string DeclaredName(const std::string& declaration) {
  size_t i = 0;
  while (i < declaration.size() && IsIdentifierChar(declaration[i])) ++i;  // the keyword
  while (i < declaration.size() && declaration[i] == ' ') ++i;
  size_t start = i;
  while (i < declaration.size() && IsIdentifierChar(declaration[i])) ++i;
  return declaration.substr(start, i - start);
}

std::vector<NativeEntry> BuildScriptApiNatives() {
  NativeFunctionMap functions = AllNativeFunctions();
  std::vector<NativeEntry> entries;
  entries.reserve(kDeclarations.size());
  for (const char* declaration : kDeclarations) {
    NativeEntry entry;
    entry.declaration = declaration;
    entry.registered_name = scriptapi::AnsiUpperCase(DeclaredName(declaration));
    // A name declared twice is registered with its first declaration: the function moves out.
    auto found = functions.find(entry.registered_name);
    if (found != functions.end()) {
      entry.function = std::move(found->second);
      functions.erase(found);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

const std::vector<NativeEntry>& ScriptApiNatives() {
  static const std::vector<NativeEntry> entries = BuildScriptApiNatives();
  return entries;
}

}  // namespace qorsv
