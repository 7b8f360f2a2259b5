// The compiler's types: what every value of the dialect is and how many cells it occupies.
//
// A cell is the VM's 8-byte storage unit. Ordinals, floats, strings, dynamic arrays, variants
// and object references take one cell; records and static arrays are laid out inline (fields
// and elements one after the other); every set takes four cells (256 bits). The checker builds
// types, the code generator reads sizes, offsets and storage classes.
//
// Threading: a TypeTable belongs to one compilation.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "scriptengine/lexer.h"

namespace qorsv::script::compiler_internal {

enum class TypeKind : uint8_t {
  kInteger,  // every integer type and integer subrange
  kBoolean,
  kChar,
  kEnum,
  kFloat,
  kString,
  kPChar,
  kVariant,
  kSet,
  kStaticArray,
  kDynArray,
  kRecord,
  kClass,      // host object reference
  kInterface,  // IDispatch
  kNil,        // the type of `nil`
  kVoid,       // no value (procedures)
};

// How an ordinal value is stored and wrapped in its cell (always sign- or zero-extended).
enum class IntClass : uint8_t { kS8, kU8, kS16, kU16, kS32, kU32, kS64 };

enum class FloatClass : uint8_t { kSingle, kDouble, kExtended, kCurrency };

constexpr int kSetCells = 4;
// The largest variable or type, in cells.
constexpr int64_t kMaxTypeCells = 1 << 24;

struct Type;
struct ClassInfo;

struct Field {
  Ident name;
  std::string display;
  const Type* type;
  int32_t offset;  // cells from the record's start
};

struct Type {
  TypeKind kind = TypeKind::kVoid;
  IntClass int_class = IntClass::kS32;
  FloatClass float_class = FloatClass::kDouble;
  int64_t low = 0;  // ordinals: value range; static arrays: index range
  int64_t high = 0;
  const Type* element = nullptr;  // arrays, sets; subranges: the host ordinal type
  const Type* index = nullptr;    // static arrays: index type
  int32_t cells = 1;
  bool managed = false;  // holds reference-counted data: needs copy and release care
  std::string name;
  std::vector<Field> fields;            // records
  std::vector<std::string> enum_names;  // enumerations
  int32_t rtti = -1;  // runtime type descriptor index, assigned by the code generator
  ClassInfo* class_info = nullptr;  // classes of the class library: parent and members

  bool IsOrdinal() const {
    return kind == TypeKind::kInteger || kind == TypeKind::kBoolean || kind == TypeKind::kChar ||
           kind == TypeKind::kEnum;
  }
  bool IsNumeric() const { return kind == TypeKind::kInteger || kind == TypeKind::kFloat; }
  bool IsStringLike() const {
    return kind == TypeKind::kString || kind == TypeKind::kPChar || kind == TypeKind::kChar;
  }
  bool IsComposite() const {
    return kind == TypeKind::kRecord || kind == TypeKind::kStaticArray || kind == TypeKind::kSet;
  }
  int64_t Count() const { return high - low + 1; }
  const Field* FindField(Ident name) const;
};

// Owns every type of one compilation; the built-in types are created first.
class TypeTable {
 public:
  TypeTable();

  Type* New(TypeKind kind, std::string name);
  Type* NewSubrange(const Type* host, int64_t low, int64_t high);
  Type* NewEnum(std::string name, std::vector<std::string> names);
  Type* NewStaticArray(const Type* index, const Type* element);  // nullptr when too large
  Type* NewDynArray(const Type* element);
  Type* NewSet(const Type* element);
  Type* NewRecord(std::string name);
  // Appends a field; false when the record would grow beyond kMaxTypeCells.
  bool AddField(Type* record, Ident name, std::string display, const Type* type);

  const Type* byte_type;
  const Type* shortint_type;
  const Type* word_type;
  const Type* smallint_type;
  const Type* integer_type;
  const Type* cardinal_type;
  const Type* int64_type;
  const Type* boolean_type;
  const Type* char_type;
  const Type* single_type;
  const Type* double_type;
  const Type* extended_type;
  const Type* currency_type;
  const Type* string_type;
  const Type* pchar_type;
  const Type* variant_type;
  const Type* nil_type;
  const Type* void_type;
  const Type* idispatch_type;
  const Type* variant_array_type;
  const Type* tif_exception_type;
  const Type* tvar_type_type;

 private:
  Type* NewInteger(std::string name, IntClass int_class, int64_t low, int64_t high);
  std::deque<Type> types_;
};

IntClass IntClassForRange(int64_t low, int64_t high);
// The value wrapped into the range of the storage class (two's complement).
int64_t WrapToClass(int64_t value, IntClass int_class);
std::string TypeDisplayName(const Type* type);

}  // namespace qorsv::script::compiler_internal
