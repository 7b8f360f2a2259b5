// Variant values of the virtual machine: boxing, unboxing, arithmetic and comparison.
#include <cmath>

#include "scriptengine/opcodes.h"
#include "scriptengine/text_format.h"
#include "scriptengine/vm.h"

namespace qorsv::script::vm_internal {
namespace {

const VarRep* AsVariant(const Cell& cell) { return static_cast<const VarRep*>(cell.p); }

uint16_t TypeOf(const VarRep* v) { return v == nullptr ? uint16_t{kVtEmpty} : v->vtype; }

bool IsString(const VarRep* v) { return v != nullptr && v->vtype == kVtString; }

// A variant as a number: integer when it holds one, else a float.
struct Number {
  bool is_float = false;
  int64_t i = 0;
  double f = 0;
  double AsFloat() const { return is_float ? f : static_cast<double>(i); }
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    char x = a[k] >= 'a' && a[k] <= 'z' ? static_cast<char>(a[k] - 32) : a[k];
    char y = b[k] >= 'a' && b[k] <= 'z' ? static_cast<char>(b[k] - 32) : b[k];
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void Machine::ToVariant(Cell& dst, const Cell& src, int32_t kind) {
  Cell value;
  value.i = 0;
  uint16_t vtype;
  switch (kind) {
    case kVarKindInt:
      value.i = src.i;
      vtype = src.i >= INT32_MIN && src.i <= INT32_MAX ? kVtInteger : kVtInt64;
      break;
    case kVarKindFloat:
      value.f = src.f;
      vtype = kVtDouble;
      break;
    case kVarKindBool:
      value.i = src.i != 0;
      vtype = kVtBoolean;
      break;
    case kVarKindChar: {
      char c = static_cast<char>(src.i);
      value.p = heap_.MakeString(std::string_view(&c, 1));
      vtype = kVtString;
      break;
    }
    default:
      Heap::Retain(src.p);
      value.p = src.p;
      vtype = kVtString;
      break;
  }
  VarRep* boxed = heap_.NewVariant(vtype, value);
  void* old = dst.p;
  dst.p = boxed;
  heap_.Release(old);
}

void Machine::FromVariant(Cell& dst, const Cell& src, int32_t kind) {
  const VarRep* v = AsVariant(src);
  uint16_t vtype = TypeOf(v);
  if (vtype == kVtNull) Raise(erNullVariantError);
  std::string_view text = vtype == kVtString ? Heap::View(v->value.p) : std::string_view();
  switch (kind) {
    case kVarKindInt:
    case kVarKindChar: {
      int64_t result = 0;
      if (vtype == kVtInteger || vtype == kVtInt64 || vtype == kVtBoolean) {
        result = v->value.i;
      } else if (vtype == kVtDouble) {
        if (!std::isfinite(v->value.f) || std::fabs(v->value.f) > 9.2e18) Raise(ErTypeMismatch);
        result = static_cast<int64_t>(std::nearbyint(v->value.f));
      } else if (vtype == kVtString) {
        if (kind == kVarKindChar) {
          result = text.empty() ? 0 : static_cast<uint8_t>(text[0]);
        } else if (auto parsed = ParseInteger(text, 64)) {
          result = *parsed;
        } else if (auto real = ParseFloat(text); real && std::fabs(*real) < 9.2e18) {
          result = static_cast<int64_t>(std::nearbyint(*real));
        } else {
          Raise(ErTypeMismatch);
        }
      }
      dst.i = result;
      return;
    }
    case kVarKindFloat: {
      double result = 0;
      if (vtype == kVtDouble)
        result = v->value.f;
      else if (vtype == kVtInteger || vtype == kVtInt64 || vtype == kVtBoolean)
        result = static_cast<double>(v->value.i);
      else if (vtype == kVtString) {
        auto parsed = ParseFloat(text);
        if (!parsed) Raise(ErTypeMismatch);
        result = *parsed;
      }
      dst.f = result;
      return;
    }
    case kVarKindBool: {
      bool result = false;
      if (vtype == kVtDouble)
        result = v->value.f != 0;
      else if (vtype == kVtInteger || vtype == kVtInt64 || vtype == kVtBoolean)
        result = v->value.i != 0;
      else if (vtype == kVtString) {
        if (EqualsIgnoringCase(text, "true"))
          result = true;
        else if (EqualsIgnoringCase(text, "false"))
          result = false;
        else if (auto number = ParseFloat(text))
          result = *number != 0;
        else
          Raise(ErTypeMismatch);
      }
      dst.i = result;
      return;
    }
    default: {
      StrRep* result = nullptr;
      if (vtype == kVtString) {
        Heap::Retain(v->value.p);
        result = static_cast<StrRep*>(v->value.p);
      } else if (vtype == kVtInteger || vtype == kVtInt64) {
        result = heap_.MakeString(std::to_string(v->value.i));
      } else if (vtype == kVtBoolean) {
        result = heap_.MakeString(v->value.i != 0 ? "True" : "False");
      } else if (vtype == kVtDouble) {
        result = heap_.MakeString(FormatFloat(v->value.f));
      }
      void* old = dst.p;
      dst.p = result;
      heap_.Release(old);
      return;
    }
  }
}

void Machine::VariantOp(Cell& dst, const Cell& a, const Cell& b, int32_t op) {
  const VarRep* x = AsVariant(a);
  const VarRep* y = AsVariant(b);
  Cell value;
  value.i = 0;
  uint16_t vtype;
  if (TypeOf(x) == kVtNull || TypeOf(y) == kVtNull) {
    vtype = kVtNull;
  } else if (op == kVarAdd && (IsString(x) || TypeOf(x) == kVtEmpty) &&
             (IsString(y) || TypeOf(y) == kVtEmpty) && (IsString(x) || IsString(y))) {
    std::string joined(x != nullptr ? Heap::View(x->value.p) : std::string_view());
    joined.append(y != nullptr ? Heap::View(y->value.p) : std::string_view());
    value.p = heap_.MakeString(joined);
    vtype = kVtString;
  } else {
    auto number = [this](const Cell& cell) {
      const VarRep* v = AsVariant(cell);
      Number n;
      uint16_t t = TypeOf(v);
      if (t == kVtDouble) {
        n.is_float = true;
        n.f = v->value.f;
      } else if (t == kVtString) {
        std::string_view text = Heap::View(v->value.p);
        if (auto i = ParseInteger(text, 64)) {
          n.i = *i;
        } else if (auto f = ParseFloat(text)) {
          n.is_float = true;
          n.f = *f;
        } else {
          Raise(ErTypeMismatch);
        }
      } else if (t != kVtEmpty) {
        n.i = v->value.i;
      }
      return n;
    };
    Number p = number(a);
    Number q = number(b);
    bool as_float = p.is_float || q.is_float || op == kVarDivide;
    if ((op == kVarIntDiv || op == kVarMod) && as_float) Raise(ErTypeMismatch);
    if (as_float) {
      double l = p.AsFloat();
      double r = q.AsFloat();
      if (op == kVarDivide && r == 0) Raise(l == 0 ? ErMathError : ErDivideByZero);
      value.f = op == kVarAdd ? l + r : op == kVarSub ? l - r : op == kVarMul ? l * r : l / r;
      vtype = kVtDouble;
    } else {
      uint64_t l = static_cast<uint64_t>(p.i);
      uint64_t r = static_cast<uint64_t>(q.i);
      int64_t result;
      switch (op) {
        case kVarAdd:
          result = static_cast<int64_t>(l + r);
          break;
        case kVarSub:
          result = static_cast<int64_t>(l - r);
          break;
        case kVarMul:
          result = static_cast<int64_t>(l * r);
          break;
        default:
          if (q.i == 0) Raise(ErDivideByZero);
          if (q.i == -1)
            result = op == kVarMod ? 0 : static_cast<int64_t>(0 - l);
          else
            result = op == kVarMod ? p.i % q.i : p.i / q.i;
          break;
      }
      value.i = result;
      vtype = result >= INT32_MIN && result <= INT32_MAX ? kVtInteger : kVtInt64;
    }
  }
  VarRep* boxed = heap_.NewVariant(vtype, value);
  void* old = dst.p;
  dst.p = boxed;
  heap_.Release(old);
}

bool Machine::VariantCompare(const Cell& a, const Cell& b, int32_t op) {
  const VarRep* x = AsVariant(a);
  const VarRep* y = AsVariant(b);
  int order;
  if (TypeOf(x) == kVtNull || TypeOf(y) == kVtNull) {
    bool both = TypeOf(x) == TypeOf(y);
    return op == kVarEq ? both : op == kVarNe ? !both : false;
  }
  if (IsString(x) && IsString(y)) {
    int c = Heap::View(x->value.p).compare(Heap::View(y->value.p));
    order = c < 0 ? -1 : c > 0 ? 1 : 0;
  } else {
    Cell l;
    Cell r;
    FromVariant(l, a, kVarKindFloat);
    FromVariant(r, b, kVarKindFloat);
    order = l.f < r.f ? -1 : l.f > r.f ? 1 : 0;
  }
  switch (op) {
    case kVarEq:
      return order == 0;
    case kVarNe:
      return order != 0;
    case kVarLt:
      return order < 0;
    case kVarLe:
      return order <= 0;
    case kVarGt:
      return order > 0;
    default:
      return order >= 0;
  }
}

}  // namespace qorsv::script::vm_internal
