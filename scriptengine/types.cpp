#include "scriptengine/types.h"

namespace qorsv::script::compiler_internal {

const Field* Type::FindField(Ident name) const {
  for (const Field& field : fields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

IntClass IntClassForRange(int64_t low, int64_t high) {
  if (low >= 0) {
    if (high <= 0xFF) return IntClass::kU8;
    if (high <= 0xFFFF) return IntClass::kU16;
    if (high <= 0xFFFFFFFFLL) return IntClass::kU32;
    return IntClass::kS64;
  }
  if (low >= -128 && high <= 127) return IntClass::kS8;
  if (low >= -32768 && high <= 32767) return IntClass::kS16;
  if (low >= INT32_MIN && high <= INT32_MAX) return IntClass::kS32;
  return IntClass::kS64;
}

int64_t WrapToClass(int64_t value, IntClass int_class) {
  switch (int_class) {
    case IntClass::kS8:
      return static_cast<int8_t>(value);
    case IntClass::kU8:
      return static_cast<uint8_t>(value);
    case IntClass::kS16:
      return static_cast<int16_t>(value);
    case IntClass::kU16:
      return static_cast<uint16_t>(value);
    case IntClass::kS32:
      return static_cast<int32_t>(value);
    case IntClass::kU32:
      return static_cast<uint32_t>(value);
    case IntClass::kS64:
      return value;
  }
  return value;
}

std::string TypeDisplayName(const Type* type) {
  if (type == nullptr) return "?";
  if (!type->name.empty()) return type->name;
  switch (type->kind) {
    case TypeKind::kStaticArray:
    case TypeKind::kDynArray:
      return "array of " + TypeDisplayName(type->element);
    case TypeKind::kSet:
      return "set of " + TypeDisplayName(type->element);
    case TypeKind::kRecord:
      return "record";
    case TypeKind::kEnum:
      return "enumeration";
    default:
      return TypeDisplayName(type->element);
  }
}

TypeTable::TypeTable() {
  byte_type = NewInteger("Byte", IntClass::kU8, 0, 255);
  shortint_type = NewInteger("ShortInt", IntClass::kS8, -128, 127);
  word_type = NewInteger("Word", IntClass::kU16, 0, 65535);
  smallint_type = NewInteger("SmallInt", IntClass::kS16, -32768, 32767);
  integer_type = NewInteger("Integer", IntClass::kS32, INT32_MIN, INT32_MAX);
  cardinal_type = NewInteger("Cardinal", IntClass::kU32, 0, UINT32_MAX);
  int64_type = NewInteger("Int64", IntClass::kS64, INT64_MIN, INT64_MAX);

  Type* boolean = New(TypeKind::kBoolean, "Boolean");
  boolean->int_class = IntClass::kU8;
  boolean->high = 1;
  boolean_type = boolean;
  Type* chr = New(TypeKind::kChar, "Char");
  chr->int_class = IntClass::kU8;
  chr->high = 255;
  char_type = chr;

  auto make_float = [this](const char* name, FloatClass float_class) {
    Type* type = New(TypeKind::kFloat, name);
    type->float_class = float_class;
    return type;
  };
  single_type = make_float("Single", FloatClass::kSingle);
  double_type = make_float("Double", FloatClass::kDouble);
  extended_type = make_float("Extended", FloatClass::kExtended);
  currency_type = make_float("Currency", FloatClass::kCurrency);

  Type* str = New(TypeKind::kString, "String");
  str->managed = true;
  string_type = str;
  Type* pchar = New(TypeKind::kPChar, "PChar");
  pchar->managed = true;
  pchar_type = pchar;
  Type* variant = New(TypeKind::kVariant, "Variant");
  variant->managed = true;
  variant_type = variant;
  nil_type = New(TypeKind::kNil, "nil");
  Type* void_t = New(TypeKind::kVoid, "");
  void_t->cells = 0;
  void_type = void_t;
  idispatch_type = New(TypeKind::kInterface, "IDispatch");
  Type* variant_array = NewDynArray(variant_type);
  variant_array->name = "TVariantArray";
  variant_array_type = variant_array;
  tif_exception_type = NewEnum("TIFException", {"ErNoError",
                                                "erCannotImport",
                                                "erInvalidType",
                                                "ErInternalError",
                                                "erInvalidHeader",
                                                "erInvalidOpcode",
                                                "erInvalidOpcodeParameter",
                                                "erNoMainProc",
                                                "erOutOfGlobalVarsRange",
                                                "erOutOfProcRange",
                                                "ErOutOfRange",
                                                "erOutOfStackRange",
                                                "ErTypeMismatch",
                                                "erUnexpectedEof",
                                                "erVersionError",
                                                "ErDivideByZero",
                                                "ErMathError",
                                                "erCouldNotCallProc",
                                                "erOutofRecordRange",
                                                "erOutOfMemory",
                                                "erException",
                                                "erNullPointerException",
                                                "erNullVariantError",
                                                "erInterfaceNotSupported",
                                                "erCustomError"});
  Type* var_type = NewInteger("TVarType", IntClass::kU16, 0, 65535);
  tvar_type_type = var_type;
}

Type* TypeTable::New(TypeKind kind, std::string name) {
  Type& type = types_.emplace_back();
  type.kind = kind;
  type.name = std::move(name);
  return &type;
}

Type* TypeTable::NewInteger(std::string name, IntClass int_class, int64_t low, int64_t high) {
  Type* type = New(TypeKind::kInteger, std::move(name));
  type->int_class = int_class;
  type->low = low;
  type->high = high;
  return type;
}

Type* TypeTable::NewSubrange(const Type* host, int64_t low, int64_t high) {
  Type* type = New(host->kind, "");
  type->element = host->element != nullptr ? host->element : host;
  type->low = low;
  type->high = high;
  type->enum_names = host->enum_names;
  type->int_class =
      host->kind == TypeKind::kInteger ? IntClassForRange(low, high) : host->int_class;
  return type;
}

Type* TypeTable::NewEnum(std::string name, std::vector<std::string> names) {
  Type* type = New(TypeKind::kEnum, std::move(name));
  type->low = 0;
  type->high = static_cast<int64_t>(names.size()) - 1;
  type->int_class = names.size() <= 256 ? IntClass::kU8 : IntClass::kU16;
  type->enum_names = std::move(names);
  return type;
}

Type* TypeTable::NewStaticArray(const Type* index, const Type* element) {
  int64_t count = index->high - index->low + 1;
  if (count < 0) count = 0;
  if (element->cells > 0 && count > kMaxTypeCells / element->cells) return nullptr;
  Type* type = New(TypeKind::kStaticArray, "");
  type->index = index;
  type->element = element;
  type->low = index->low;
  type->high = index->high;
  type->cells = static_cast<int32_t>(count * element->cells);
  type->managed = element->managed;
  return type;
}

Type* TypeTable::NewDynArray(const Type* element) {
  Type* type = New(TypeKind::kDynArray, "");
  type->element = element;
  type->managed = true;
  return type;
}

Type* TypeTable::NewSet(const Type* element) {
  Type* type = New(TypeKind::kSet, "");
  type->element = element;
  type->cells = kSetCells;
  return type;
}

Type* TypeTable::NewRecord(std::string name) {
  Type* type = New(TypeKind::kRecord, std::move(name));
  type->cells = 0;
  return type;
}

bool TypeTable::AddField(Type* record, Ident name, std::string display, const Type* type) {
  if (static_cast<int64_t>(record->cells) + type->cells > kMaxTypeCells) return false;
  record->fields.push_back(Field{name, std::move(display), type, record->cells});
  record->cells += type->cells;
  record->managed = record->managed || type->managed;
  return true;
}

}  // namespace qorsv::script::compiler_internal
