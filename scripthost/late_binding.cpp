#include "scripthost/late_binding.h"

#include <cstdint>
#include <string_view>

namespace qorsv {
namespace {

bool FitsInteger(uint32_t value) { return value <= static_cast<uint32_t>(INT32_MAX); }

// The literal's type as the compiler gives it: Integer or Int64 by range, Char for one
// character, else string. A program compiled for one type cannot take a value of another.
char TypeMark(const PreludeLiteral& literal) {
  if (literal.is_text) return literal.text.size() == 1 ? 'C' : 'S';
  return FitsInteger(literal.number) ? 'I' : 'L';
}

script::CallValue ValueOf(const PreludeLiteral& literal) {
  if (literal.is_text) return script::CallValue::Text(literal.text);
  if (FitsInteger(literal.number)) {
    return script::CallValue::Integer(static_cast<int32_t>(literal.number));
  }
  return script::CallValue::Int64(literal.number);
}

}  // namespace

LateBinding BindPreludeLiterals(const std::string& combined, const PreludeLayout& layout,
                                const std::string& preprocessed) {
  LateBinding binding;
  if (!layout.single_literals) return binding;
  // The text before the include and the procedures after it come through unchanged; only the
  // include's expansion lies between them.
  if (preprocessed.compare(0, layout.head_end, combined, 0, layout.head_end) != 0) return binding;
  std::string_view tail(combined.data() + layout.tail_begin, layout.tail_end - layout.tail_begin);
  size_t tail_at = preprocessed.find(tail, layout.head_end);
  if (tail_at == std::string::npos) return binding;

  binding.offsets.reserve(layout.literals.size());
  binding.values.reserve(layout.literals.size());
  binding.key.reserve(preprocessed.size());
  size_t copied = 0;
  for (const PreludeLiteral& literal : layout.literals) {
    size_t offset = literal.offset < layout.head_end
                        ? literal.offset
                        : literal.offset - layout.tail_begin + tail_at;
    binding.offsets.push_back(offset);
    binding.values.push_back(ValueOf(literal));
    binding.key.append(preprocessed, copied, offset - copied);
    binding.key += '\x01';
    binding.key += TypeMark(literal);
    copied = offset + literal.length;
  }
  binding.key.append(preprocessed, copied, std::string::npos);
  binding.usable = true;
  return binding;
}

}  // namespace qorsv
