// Declaration texts of the engine's own standard routines.
//
// The compiler declares them at the start of every compilation, before the host's natives (so
// a host declaration of the same name replaces one of these); the runtime registers their
// implementations (stdlib.h) under the upper-case names before the host registers anything.
// Routines that take any type or a variable (Length, SetLength, SizeOf, Assigned, High, Inc...)
// are translated by the compiler itself and are not listed here.
//
// Threading: constant data.
#pragma once

namespace qorsv::script {

inline constexpr const char* kStandardDeclarations[] = {
    "function inttostr(i: Longint): string;",
    "function strtoint(s: string): Longint;",
    "function strtointdef(s: string; def: Longint): Longint;",
    "function copy(s: string; ifrom, icount: Longint): string;",
    "function pos(substr, s: string): Longint;",
    "procedure delete(var s: string; ifrom, icount: Longint);",
    "procedure insert(s: string; var s2: string; ipos: Longint);",
    "Function StrGet(var S : String; I : Integer) : Char;",
    "Function StrGet2(S : String; I : Integer) : Char;",
    "procedure StrSet(c : Char; I : Integer; var s : String);",
    "Function AnsiUppercase(s : string) : string;",
    "Function AnsiLowercase(s : string) : string;",
    "Function Uppercase(s : string) : string;",
    "Function Lowercase(s : string) : string;",
    "Function Trim(s : string) : string;",
    "Function Sin(e : Extended) : Extended;",
    "Function Cos(e : Extended) : Extended;",
    "Function Sqrt(e : Extended) : Extended;",
    "Function Round(e : Extended) : Longint;",
    "Function Trunc(e : Extended) : Longint;",
    "Function Int(e : Extended) : Extended;",
    "Function Pi : Extended;",
    "function StrToFloat(s: string): Extended;",
    "Function FloatToStr(e : Extended) : String;",
    "Function Padl(s : string;I : longInt) : string;",
    "Function Padr(s : string;I : longInt) : string;",
    "Function Padz(s : string;I : longInt) : string;",
    "Function Replicate(c : char;I : longInt) : string;",
    "Function StringOfChar(c : char;I : longInt) : string;",
    "function Unassigned: Variant;",
    "function VarIsEmpty(const V: Variant): Boolean;",
    "function Null: Variant;",
    "function VarIsNull(const V: Variant): Boolean;",
    "function VarType(const V: Variant): TVarType;",
    "procedure RaiseLastException;",
    "procedure RaiseException(Ex: TIFException; Param: string);",
    "function ExceptionType: TIFException;",
    "function ExceptionParam: string;",
    "function ExceptionProc: Cardinal;",
    "function ExceptionPos: Cardinal;",
    "function ExceptionToString(er: TIFException; Param: string): string;",
    "function StrToInt64(s: string): int64;",
    "function Int64ToStr(i: Int64): string;",
    ("function IDispatchInvoke(Self: IDispatch; PropertySet: Boolean; const Name: String; Par: "
     "array of variant): variant;"),
};

}  // namespace qorsv::script
