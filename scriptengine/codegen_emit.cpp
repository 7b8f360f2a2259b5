// Emission helpers of the code generator: instructions, labels, temporaries, constants and
// runtime type descriptors.
#include <cstring>

#include "scriptengine/codegen.h"

namespace qorsv::script::compiler_internal {

Codegen::Codegen(Checker& checker, TypeTable& types) : checker_(checker), types_(types) {}

void Codegen::Ins(Opcode op, std::initializer_list<int32_t> operands) {
  code_.push_back(op);
  code_.insert(code_.end(), operands.begin(), operands.end());
}

int32_t Codegen::NewLabel() {
  labels_.emplace_back();
  return static_cast<int32_t>(labels_.size() - 1);
}

void Codegen::Bind(int32_t label) {
  Label& l = labels_[label];
  l.pos = static_cast<int32_t>(code_.size());
  for (int32_t patch : l.patches) code_[patch] = l.pos;
  l.patches.clear();
}

void Codegen::EmitLabel(int32_t label) {
  Label& l = labels_[label];
  if (l.pos >= 0) {
    code_.push_back(l.pos);
  } else {
    l.patches.push_back(static_cast<int32_t>(code_.size()));
    code_.push_back(0);
  }
}

void Codegen::Jump(Opcode op, std::initializer_list<int32_t> operands, int32_t label) {
  Ins(op, operands);
  EmitLabel(label);
}

bool Codegen::IsManaged(const Type* type) {
  switch (type->kind) {
    case TypeKind::kString:
    case TypeKind::kPChar:
    case TypeKind::kVariant:
    case TypeKind::kDynArray:
      return true;
    default:
      return false;
  }
}

Codegen::TempKind Codegen::KindOf(const Type* type) const {
  if (IsManaged(type)) return TempKind::kManaged;
  if (IsSet(type)) return TempKind::kSet;
  return TempKind::kPlain;
}

// Temporaries: each frame cell serves one kind for the whole routine, so a managed cell never
// holds a stale integer and vice versa.
int32_t Codegen::Temp(TempKind kind) {
  std::vector<int32_t>& pool = kind == TempKind::kManaged ? free_managed_
                               : kind == TempKind::kSet   ? free_sets_
                                                          : free_plain_;
  int32_t cell;
  if (!pool.empty()) {
    cell = pool.back();
    pool.pop_back();
  } else {
    int32_t cells = kind == TempKind::kSet ? kSetCells : 1;
    cell = next_cell_;
    next_cell_ += cells;
    if (next_cell_ >= kWindowBase / 2) throw CompileError(routine_->pos, "Routine too large");
    if (temp_state_.size() < static_cast<size_t>(next_cell_)) temp_state_.resize(next_cell_, 0);
    if (kind == TempKind::kManaged) cleanup_.push_back({cell, -1});
  }
  temp_state_[cell] = 2;
  statement_temps_.emplace_back(cell, kind);
  return cell;
}

int32_t Codegen::TempFor(const Type* type) { return Temp(KindOf(type)); }

int32_t Codegen::CompositeTemp(const Type* type) {
  for (size_t i = 0; i < free_composites_.size(); ++i) {
    if (free_composites_[i].second == type) {
      int32_t cell = free_composites_[i].first;
      free_composites_.erase(free_composites_.begin() + static_cast<long>(i));
      composite_in_use_.emplace_back(cell, type);
      return cell;
    }
  }
  int32_t cell = next_cell_;
  next_cell_ += type->cells;
  if (next_cell_ >= kWindowBase / 2) throw CompileError(routine_->pos, "Routine too large");
  if (type->managed) cleanup_.push_back({cell, RttiFor(type)});
  composite_in_use_.emplace_back(cell, type);
  return cell;
}

bool Codegen::IsTemp(int32_t cell) const {
  return cell >= 0 && cell < static_cast<int32_t>(temp_state_.size()) && temp_state_[cell] == 2;
}

void Codegen::ReleaseStatementTemps(size_t mark) {
  while (statement_temps_.size() > mark) {
    auto [cell, kind] = statement_temps_.back();
    statement_temps_.pop_back();
    temp_state_[cell] = 1;
    (kind == TempKind::kManaged ? free_managed_
     : kind == TempKind::kSet   ? free_sets_
                                : free_plain_)
        .push_back(cell);
  }
}

// ---- Constants: cells of the global area, filled at load ----

void Codegen::AddInit(int32_t cell, int64_t value) {
  GlobalInit init;
  init.kind = GlobalInit::Kind::kInt;
  init.cell = cell;
  init.value = value;
  inits_.push_back(init);
}

void Codegen::AddStringInit(int32_t cell, std::string_view text) {
  GlobalInit init;
  init.kind = GlobalInit::Kind::kString;
  init.cell = cell;
  init.value = static_cast<int64_t>(string_pool_.size());
  init.length = static_cast<int32_t>(text.size());
  string_pool_.append(text);
  inits_.push_back(init);
}

int32_t Codegen::ConstInt(int64_t value) {
  auto found = int_consts_.find(value);
  if (found != int_consts_.end()) return found->second;
  int32_t cell = checker_.AllocateGlobalCells(1);
  if (value != 0) AddInit(cell, value);
  int_consts_.emplace(value, GlobalRef(cell));
  return GlobalRef(cell);
}

int32_t Codegen::ConstFloat(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  auto found = float_consts_.find(bits);
  if (found != float_consts_.end()) return found->second;
  int32_t cell = checker_.AllocateGlobalCells(1);
  GlobalInit init;
  init.kind = GlobalInit::Kind::kFloat;
  init.cell = cell;
  init.value = static_cast<int64_t>(bits);
  inits_.push_back(init);
  float_consts_.emplace(bits, GlobalRef(cell));
  return GlobalRef(cell);
}

// String literals are not shared between occurrences: looking each one up would cost more than
// the cell it saves, and a generated text may hold a great many distinct literals.
int32_t Codegen::ConstString(std::string_view value) {
  if (value.empty()) return ConstInt(0);
  int32_t cell = checker_.AllocateGlobalCells(1);
  AddStringInit(cell, value);
  return GlobalRef(cell);
}

int32_t Codegen::ConstSet(const uint64_t* bits) {
  std::vector<uint64_t> key(bits, bits + 4);
  auto found = set_consts_.find(key);
  if (found != set_consts_.end()) return found->second;
  int32_t cell = checker_.AllocateGlobalCells(kSetCells);
  for (int i = 0; i < 4; ++i) {
    if (bits[i] != 0) AddInit(cell + i, static_cast<int64_t>(bits[i]));
  }
  // A set's cells run upward from its first cell; as a global reference the first cell is the
  // highest-numbered reference, see Offset.
  set_consts_.emplace(key, GlobalRef(cell));
  return GlobalRef(cell);
}

// ---- Runtime type descriptors ----

int32_t Codegen::RttiFor(const Type* type) {
  if (type->rtti >= 0) return type->rtti;
  RttiEntry entry;
  entry.cells = type->cells;
  entry.managed = type->managed;
  switch (type->kind) {
    case TypeKind::kString:
    case TypeKind::kPChar:
    case TypeKind::kVariant:
    case TypeKind::kDynArray:
      entry.kind = RttiEntry::Kind::kManaged;
      entry.cells = 1;
      entry.managed = true;
      break;
    case TypeKind::kStaticArray:
      entry.kind = RttiEntry::Kind::kStaticArray;
      entry.element = RttiFor(type->element);
      entry.count = static_cast<int32_t>(type->Count());
      entry.element_cells = type->element->cells;
      break;
    case TypeKind::kRecord:
      entry.kind = RttiEntry::Kind::kRecord;
      for (const Field& field : type->fields) {
        if (!field.type->managed) continue;
        entry.fields.emplace_back(field.offset, IsManaged(field.type) ? -1 : RttiFor(field.type));
      }
      break;
    default:
      entry.kind = RttiEntry::Kind::kPlain;
      break;
  }
  rtti_.push_back(std::move(entry));
  const_cast<Type*>(type)->rtti = static_cast<int32_t>(rtti_.size() - 1);
  return type->rtti;
}

ValueDesc Codegen::DescFor(const Type* type) const {
  ValueDesc desc;
  desc.cells = type->cells;
  switch (type->kind) {
    case TypeKind::kInteger:
    case TypeKind::kEnum:
      desc.kind = ValueKind::kOrdinal;
      desc.int_class = static_cast<uint8_t>(type->int_class);
      break;
    case TypeKind::kBoolean:
      desc.kind = ValueKind::kBoolean;
      desc.int_class = kWrapU8;
      break;
    case TypeKind::kChar:
      desc.kind = ValueKind::kChar;
      desc.int_class = kWrapU8;
      break;
    case TypeKind::kFloat:
      desc.kind = ValueKind::kFloat;
      desc.is_single = type->float_class == FloatClass::kSingle;
      break;
    case TypeKind::kString:
      desc.kind = ValueKind::kString;
      break;
    case TypeKind::kPChar:
      desc.kind = ValueKind::kPChar;
      break;
    case TypeKind::kVariant:
      desc.kind = ValueKind::kVariant;
      break;
    case TypeKind::kDynArray:
      desc.kind = ValueKind::kDynArray;
      break;
    case TypeKind::kSet:
      desc.kind = ValueKind::kSet;
      break;
    case TypeKind::kRecord:
      desc.kind = ValueKind::kRecord;
      break;
    case TypeKind::kStaticArray:
      desc.kind = ValueKind::kStaticArray;
      break;
    case TypeKind::kClass:
    case TypeKind::kInterface:
    case TypeKind::kNil:
      desc.kind = ValueKind::kObject;
      break;
    case TypeKind::kVoid:
      desc.kind = ValueKind::kVoid;
      desc.cells = 0;
      break;
  }
  return desc;
}

// Jumps of the routine from `begin` that lead to a plain jump go straight to where that one
// leads, and a jump to a return returns: one dispatch fewer on every branch of an `if` that
// ends a routine or loop body.
void Codegen::ThreadJumps(int32_t begin) {
  const int32_t end = static_cast<int32_t>(code_.size());
  auto final_target = [&](int32_t target) {
    for (int hops = 0; hops < 8 && target < end && code_[target] == kJmp; ++hops) {
      target = code_[target + 1];
    }
    return target;
  };
  int32_t pc = begin;
  while (pc < end) {
    int32_t op = code_[pc];
    const char* kinds = kOpcodeOperands[op];
    int32_t count = static_cast<int32_t>(std::strlen(kinds));
    bool forward_branch = op == kJmp || op == kJT || op == kJF || (op >= kJEq && op <= kJGeI);
    if (forward_branch) {
      int32_t& label = code_[pc + count];
      label = final_target(label);
      if (op == kJmp && label < end && code_[label] == kRet) {
        code_[pc] = kRet;
        code_[pc + 1] = kNop;
      }
    }
    pc += 1 + count;
    if (op == kSwitch) pc += code_[pc - 2];
    if (op == kEndFinally) pc += code_[pc - 1];
  }
}

// Moves window cells (numbered from kWindowBase) above the routine's temporaries.
void Codegen::FixWindows(int32_t begin, int32_t frame_cells) {
  int32_t pc = begin;
  const int32_t end = static_cast<int32_t>(code_.size());
  while (pc < end) {
    int32_t op = code_[pc];
    const char* kinds = kOpcodeOperands[op];
    int32_t count = static_cast<int32_t>(std::strlen(kinds));
    for (int32_t i = 0; i < count; ++i) {
      int32_t& v = code_[pc + 1 + i];
      if (kinds[i] == 'R' && v >= kWindowBase) v = v - kWindowBase + frame_cells;
    }
    pc += 1 + count;
    if (op == kSwitch) pc += code_[pc - 2];
    if (op == kEndFinally) pc += code_[pc - 1];
  }
}

}  // namespace qorsv::script::compiler_internal
