#include "scriptengine/stdlib.h"

#include <cmath>
#include <stdexcept>

#include "scriptengine/text_format.h"
#include "scriptengine/vm.h"

namespace qorsv::script {

using vm_internal::Cell;
using vm_internal::Machine;
using vm_internal::VmNativeCall;

namespace {

VmNativeCall& Raw(NativeCall& call) { return static_cast<VmNativeCall&>(call); }

// Fills the standard table with the registration calls of a runtime.
struct TableBuilder {
  NativeTable& table;
  void RegisterNative(const std::string& name, NativeFunction function) {
    table[name] = std::move(function);
  }
};

// Copy with Delphi's clamping: a start below 1 counts as 1, a count past the end stops there.
std::string CopyText(const std::string& text, int64_t from, int64_t count) {
  if (from < 1) from = 1;
  int64_t length = static_cast<int64_t>(text.size());
  if (from > length || count <= 0) return {};
  count = std::min(count, length - from + 1);
  return text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(count));
}

double CheckedFloat(double value) {
  if (std::isnan(value) || std::isinf(value))
    throw NativeMathError("Invalid floating point operation");
  return value;
}

int64_t RoundToInteger(double value, bool banker) {
  CheckedFloat(value);
  double rounded = banker ? std::nearbyint(value) : std::trunc(value);
  if (rounded >= 9.2e18 || rounded <= -9.2e18)
    throw NativeMathError("Invalid floating point operation");
  return static_cast<int64_t>(rounded);
}

std::string Pad(const std::string& text, int64_t width, char fill, bool left) {
  int64_t length = static_cast<int64_t>(text.size());
  if (width <= length) return text;
  if (width > vm_internal::kMaxObjectBytes) throw vm_internal::OutOfMemoryError{};
  std::string padding(static_cast<size_t>(width - length), fill);
  return left ? padding + text : text + padding;
}

std::string Repeat(int64_t code, int64_t count) {
  if (count <= 0) return {};
  if (count > vm_internal::kMaxObjectBytes) throw vm_internal::OutOfMemoryError{};
  return std::string(static_cast<size_t>(count), static_cast<char>(code));
}

std::string TrimText(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

void RegisterText(TableBuilder& m) {
  m.RegisterNative("INTTOSTR", [](NativeCall& c) { c.ReturnStr(std::to_string(c.Int(0))); });
  m.RegisterNative("INT64TOSTR", [](NativeCall& c) { c.ReturnStr(std::to_string(c.Int(0))); });
  m.RegisterNative("STRTOINT", [](NativeCall& c) {
    std::string text = c.Str(0);
    auto value = ParseInteger(text, 32);
    if (!value) throw std::runtime_error("'" + text + "' is not a valid integer value");
    c.ReturnInt(*value);
  });
  m.RegisterNative("STRTOINT64", [](NativeCall& c) {
    std::string text = c.Str(0);
    auto value = ParseInteger(text, 64);
    if (!value) throw std::runtime_error("'" + text + "' is not a valid integer value");
    c.ReturnInt(*value);
  });
  m.RegisterNative("STRTOINTDEF", [](NativeCall& c) {
    c.ReturnInt(ParseInteger(c.Str(0), 32).value_or(c.Int(1)));
  });
  m.RegisterNative("COPY",
                   [](NativeCall& c) { c.ReturnStr(CopyText(c.Str(0), c.Int(1), c.Int(2))); });
  m.RegisterNative("POS", [](NativeCall& c) {
    std::string needle = c.Str(0);
    std::string haystack = c.Str(1);
    size_t at = needle.empty() ? std::string::npos : haystack.find(needle);
    c.ReturnInt(at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1);
  });
  m.RegisterNative("DELETE", [](NativeCall& c) {
    std::string text = c.Str(0);
    int64_t from = c.Int(1);
    int64_t count = c.Int(2);
    int64_t length = static_cast<int64_t>(text.size());
    if (from < 1 || from > length || count <= 0) return;
    count = std::min(count, length - from + 1);
    text.erase(static_cast<size_t>(from - 1), static_cast<size_t>(count));
    c.SetVarStr(0, text);
  });
  m.RegisterNative("INSERT", [](NativeCall& c) {
    std::string piece = c.Str(0);
    std::string text = c.Str(1);
    if (piece.empty()) return;
    int64_t at = std::clamp<int64_t>(c.Int(2), 1, static_cast<int64_t>(text.size()) + 1);
    text.insert(static_cast<size_t>(at - 1), piece);
    c.SetVarStr(1, text);
  });
  auto str_get = [](NativeCall& c) {
    std::string text = c.Str(0);
    int64_t at = c.Int(1);
    if (at < 1 || at > static_cast<int64_t>(text.size())) Raw(c).machine().Raise(ErOutOfRange);
    c.ReturnInt(static_cast<uint8_t>(text[static_cast<size_t>(at - 1)]));
  };
  m.RegisterNative("STRGET", str_get);
  m.RegisterNative("STRGET2", str_get);
  m.RegisterNative("STRSET", [](NativeCall& c) {
    std::string text = c.Str(2);
    int64_t at = c.Int(1);
    if (at < 1 || at > static_cast<int64_t>(text.size())) Raw(c).machine().Raise(ErOutOfRange);
    text[static_cast<size_t>(at - 1)] = static_cast<char>(c.Int(0));
    c.SetVarStr(2, text);
  });
  m.RegisterNative("ANSIUPPERCASE",
                   [](NativeCall& c) { c.ReturnStr(AnsiUpperCaseText(c.Str(0))); });
  m.RegisterNative("ANSILOWERCASE",
                   [](NativeCall& c) { c.ReturnStr(AnsiLowerCaseText(c.Str(0))); });
  m.RegisterNative("UPPERCASE", [](NativeCall& c) { c.ReturnStr(UpperCaseAscii(c.Str(0))); });
  m.RegisterNative("LOWERCASE", [](NativeCall& c) { c.ReturnStr(LowerCaseAscii(c.Str(0))); });
  m.RegisterNative("TRIM", [](NativeCall& c) { c.ReturnStr(TrimText(c.Str(0))); });
  m.RegisterNative("PADL", [](NativeCall& c) { c.ReturnStr(Pad(c.Str(0), c.Int(1), ' ', true)); });
  m.RegisterNative("PADR", [](NativeCall& c) { c.ReturnStr(Pad(c.Str(0), c.Int(1), ' ', false)); });
  m.RegisterNative("PADZ", [](NativeCall& c) { c.ReturnStr(Pad(c.Str(0), c.Int(1), '0', true)); });
  m.RegisterNative("REPLICATE", [](NativeCall& c) { c.ReturnStr(Repeat(c.Int(0), c.Int(1))); });
  m.RegisterNative("STRINGOFCHAR", [](NativeCall& c) { c.ReturnStr(Repeat(c.Int(0), c.Int(1))); });
}

void RegisterMath(TableBuilder& m) {
  m.RegisterNative("SIN", [](NativeCall& c) { c.ReturnFloat(std::sin(CheckedFloat(c.Float(0)))); });
  m.RegisterNative("COS", [](NativeCall& c) { c.ReturnFloat(std::cos(CheckedFloat(c.Float(0)))); });
  m.RegisterNative("SQRT", [](NativeCall& c) {
    double value = c.Float(0);
    if (value < 0 || std::isnan(value)) throw NativeMathError("Invalid floating point operation");
    c.ReturnFloat(std::sqrt(value));
  });
  m.RegisterNative("ROUND", [](NativeCall& c) { c.ReturnInt(RoundToInteger(c.Float(0), true)); });
  m.RegisterNative("TRUNC", [](NativeCall& c) { c.ReturnInt(RoundToInteger(c.Float(0), false)); });
  m.RegisterNative("INT", [](NativeCall& c) { c.ReturnFloat(std::trunc(c.Float(0))); });
  m.RegisterNative("PI", [](NativeCall& c) { c.ReturnFloat(M_PI); });
  m.RegisterNative("STRTOFLOAT", [](NativeCall& c) {
    std::string text = c.Str(0);
    auto value = ParseFloat(text);
    if (!value) throw std::runtime_error("'" + text + "' is not a valid floating point value");
    c.ReturnFloat(*value);
  });
  m.RegisterNative("FLOATTOSTR", [](NativeCall& c) { c.ReturnStr(FormatFloat(c.Float(0))); });
}

void RegisterVariants(TableBuilder& m) {
  m.RegisterNative("UNASSIGNED", [](NativeCall& c) {
    Cell& result = Raw(c).Result();
    Raw(c).machine().heap().Assign(result, nullptr);
  });
  m.RegisterNative("NULL", [](NativeCall& c) {
    Cell value;
    value.i = 0;
    Cell& result = Raw(c).Result();
    vm_internal::Heap& heap = Raw(c).machine().heap();
    vm_internal::VarRep* boxed = heap.NewVariant(vm_internal::kVtNull, value);
    heap.Assign(result, nullptr);
    result.p = boxed;
  });
  auto vtype = [](NativeCall& c) -> uint16_t {
    auto* v = static_cast<const vm_internal::VarRep*>(Raw(c).Arg(0).p);
    return v == nullptr ? uint16_t{vm_internal::kVtEmpty} : v->vtype;
  };
  m.RegisterNative("VARISEMPTY",
                   [vtype](NativeCall& c) { c.ReturnBool(vtype(c) == vm_internal::kVtEmpty); });
  m.RegisterNative("VARISNULL",
                   [vtype](NativeCall& c) { c.ReturnBool(vtype(c) == vm_internal::kVtNull); });
  m.RegisterNative("VARTYPE", [vtype](NativeCall& c) { c.ReturnInt(vtype(c)); });
  m.RegisterNative("IDISPATCHINVOKE", [](NativeCall& c) {
    if (Raw(c).Arg(0).p == nullptr) Raw(c).machine().Raise(erNullPointerException);
    Raw(c).machine().Raise(erInterfaceNotSupported);
  });
  // Automation objects are a Windows service; a server script here has none to reach.
  for (const char* name : {"CREATEOLEOBJECT", "GETACTIVEOLEOBJECT"}) {
    m.RegisterNative(name, [](NativeCall& c) {
      throw std::runtime_error("Automation is not available on this platform: no object " +
                               c.Str(0) + " can be reached");
    });
  }
}

void RegisterExceptions(TableBuilder& m) {
  m.RegisterNative("RAISEEXCEPTION", [](NativeCall& c) {
    int64_t kind = c.Int(0);
    Raw(c).machine().Raise(static_cast<TIFException>(kind), c.Str(1));
  });
  m.RegisterNative("RAISELASTEXCEPTION", [](NativeCall& c) {
    const vm_internal::VmError& last = Raw(c).machine().current_exception();
    if (last.kind == ErNoError) return;
    vm_internal::VmError again = last;
    throw again;
  });
  m.RegisterNative("EXCEPTIONTYPE",
                   [](NativeCall& c) { c.ReturnInt(Raw(c).machine().current_exception().kind); });
  m.RegisterNative("EXCEPTIONPARAM",
                   [](NativeCall& c) { c.ReturnStr(Raw(c).machine().current_exception().param); });
  m.RegisterNative("EXCEPTIONPROC", [](NativeCall& c) {
    c.ReturnInt(static_cast<uint32_t>(Raw(c).machine().current_exception().proc));
  });
  m.RegisterNative("EXCEPTIONPOS", [](NativeCall& c) {
    c.ReturnInt(static_cast<uint32_t>(Raw(c).machine().current_exception().pos));
  });
  m.RegisterNative("EXCEPTIONTOSTRING", [](NativeCall& c) {
    c.ReturnStr(ExceptionToString(static_cast<TIFException>(c.Int(0)), c.Str(1)));
  });
}

}  // namespace

std::string UpperCaseAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

std::string LowerCaseAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

std::string AnsiUpperCaseText(std::string text) {
  for (char& c : text) {
    auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7))
      b -= 32;
    else if (b == 0x9A || b == 0x9C || b == 0x9E)
      b -= 16;  // š œ ž
    else if (b == 0xFF)
      b = 0x9F;  // ÿ
    c = static_cast<char>(b);
  }
  return text;
}

std::string AnsiLowerCaseText(std::string text) {
  for (char& c : text) {
    auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
      b += 32;
    else if (b == 0x8A || b == 0x8C || b == 0x8E)
      b += 16;  // Š Œ Ž
    else if (b == 0x9F)
      b = 0xFF;  // Ÿ
    c = static_cast<char>(b);
  }
  return text;
}

const NativeTable& StandardRoutines() {
  static const NativeTable table = [] {
    NativeTable built;
    TableBuilder builder{built};
    RegisterText(builder);
    RegisterMath(builder);
    RegisterVariants(builder);
    RegisterExceptions(builder);
    return built;
  }();
  return table;
}

}  // namespace qorsv::script
