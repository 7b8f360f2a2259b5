// Natives for number and text conversions.
#include <cstdint>

#include "scripthost/conversions.h"
#include "scripthost/native_groups.h"

namespace qorsv {
namespace {

using script::NativeCall;

int32_t Int32Arg(const NativeCall& call, int index) {
  return static_cast<int32_t>(call.Int(index));
}

}  // namespace

void AddConversionNatives(NativeFunctionMap& natives) {
  natives["INTTOHEX"] = [](NativeCall& call) {
    call.ReturnStr(scriptapi::IntToHex(Int32Arg(call, 0), Int32Arg(call, 1)));
  };
  natives["STRTOINT"] = [](NativeCall& call) { call.ReturnInt(scriptapi::StrToInt(call.Str(0))); };
  natives["ANSIPOS"] = [](NativeCall& call) {
    call.ReturnInt(scriptapi::AnsiPos(call.Str(0), call.Str(1)));
  };
  natives["ANSISAMETEXT"] = [](NativeCall& call) {
    call.ReturnBool(scriptapi::AnsiSameText(call.Str(0), call.Str(1)));
  };
  natives["STRLEN"] = [](NativeCall& call) {
    std::string text = call.Str(0);
    size_t nul = text.find('\0');
    call.ReturnInt(static_cast<int64_t>(nul == std::string::npos ? text.size() : nul));
  };
  natives["STRINGREPLACE"] = [](NativeCall& call) {
    call.ReturnStr(scriptapi::StringReplace(call.Str(0), call.Str(1), call.Str(2)));
  };
  natives["ANSIUPPERCASE"] = [](NativeCall& call) {
    call.ReturnStr(scriptapi::AnsiUpperCase(call.Str(0)));
  };
  natives["ANSILOWERCASE"] = [](NativeCall& call) {
    call.ReturnStr(scriptapi::AnsiLowerCase(call.Str(0)));
  };
  natives["MIDSTR"] = [](NativeCall& call) {
    call.ReturnStr(scriptapi::MidStr(call.Str(0), Int32Arg(call, 1), Int32Arg(call, 2)));
  };
  natives["FLOATTOSTR"] = [](NativeCall& call) {
    call.ReturnStr(scriptapi::FloatToStr(call.Float(0)));
  };
  natives["STRTOFLOAT"] = [](NativeCall& call) {
    call.ReturnFloat(scriptapi::StrToFloat(call.Str(0)));
  };
}

}  // namespace qorsv
