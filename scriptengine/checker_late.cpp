// Late literals: literals whose values the host supplies after loading, so that one program
// image serves every text that differs from the compiled one only in those values.
//
// Each late literal becomes a hidden, read-only global variable of the type the literal itself
// would have (Integer or Int64 by range, Char for a one-character string, else string). A
// constant declared from one stands for that variable. Where a plain compilation would need the
// value itself (an array bound, a case label, an initial value), the variable is no constant and
// the compilation fails; where it would fold the value into arithmetic whose type or errors
// depend on it (sums that widen to Int64, division by zero), late_values_needed() tells the host
// that this image holds only this text's values.
#include "scriptengine/checker.h"

namespace qorsv::script::compiler_internal {
namespace {

uint64_t PositionKey(SourcePos pos) {
  return static_cast<uint64_t>(static_cast<uint32_t>(pos.row)) << 32 |
         static_cast<uint32_t>(pos.col);
}

bool IsArithmetic(Op op) {
  switch (op) {
    case Op::kAdd:
    case Op::kSub:
    case Op::kMul:
    case Op::kDivide:
    case Op::kIntDiv:
    case Op::kMod:
    case Op::kShl:
    case Op::kShr:
      return true;
    default:
      return false;
  }
}

}  // namespace

void Checker::SetLateLiterals(const std::vector<SourcePos>& positions) {
  late_positions_.clear();
  for (size_t i = 0; i < positions.size(); ++i) {
    late_positions_.emplace(PositionKey(positions[i]), static_cast<int>(i));
  }
  late_symbols_.assign(positions.size(), nullptr);
  late_literals_found_ = 0;
  late_values_needed_ = false;
}

// The literal itself when it is not late; otherwise a read of its hidden variable.
Expr* Checker::LateLiteral(Expr* literal) {
  auto found = late_positions_.find(PositionKey(literal->pos));
  if (found == late_positions_.end()) return nullptr;
  Symbol*& symbol = late_symbols_[static_cast<size_t>(found->second)];
  if (symbol == nullptr) {
    const Type* type;
    if (literal->kind == ExprKind::kIntLit) {
      int64_t value = static_cast<IntLit*>(literal)->value;
      type = value >= INT32_MIN && value <= INT32_MAX ? types_.integer_type : types_.int64_type;
    } else {
      type = static_cast<StrLit*>(literal)->value.size() == 1 ? types_.char_type
                                                              : types_.string_type;
    }
    std::string name = "#LITERAL" + std::to_string(found->second);
    symbol = NewSymbol(SymbolKind::kVar, interner_.InternAnyCase(name), name);
    symbol->type = type;
    symbol->level = 0;
    symbol->read_only = true;
    symbol->late_literal = true;
    symbol->offset = global_cells_;
    global_cells_ += type->cells;
    global_vars_.push_back(symbol);
    ++late_literals_found_;
  }
  auto* variable = arena_.New<VarExpr>();
  variable->kind = ExprKind::kVar;
  variable->pos = literal->pos;
  variable->symbol = symbol;
  variable->type = symbol->type;
  return variable;
}

// Whether `expr` would be a constant expression if its late literals were literals.
bool Checker::IsLateConst(const Expr* expr) const {
  auto constant = [this](const Expr* e) { return IsConst(e) || IsLateConst(e); };
  switch (expr->kind) {
    case ExprKind::kVar:
      return static_cast<const VarExpr*>(expr)->symbol->late_literal;
    case ExprKind::kConvert:
      return IsLateConst(static_cast<const ConvertExpr*>(expr)->operand);
    case ExprKind::kUnary:
      return IsLateConst(static_cast<const UnaryExpr*>(expr)->operand);
    case ExprKind::kBinary: {
      auto* binary = static_cast<const BinaryExpr*>(expr);
      return constant(binary->left) && constant(binary->right) &&
             (IsLateConst(binary->left) || IsLateConst(binary->right));
    }
    case ExprKind::kIndex: {
      auto* index = static_cast<const IndexExpr*>(expr);
      return constant(index->base) && constant(index->indices[0]) &&
             (IsLateConst(index->base) || IsLateConst(index->indices[0]));
    }
    case ExprKind::kCall: {
      auto* call = static_cast<const CallExpr*>(expr);
      if (call->builtin < 0 || call->args.size == 0) return false;
      bool late = false;
      for (const Expr* arg : call->args) {
        if (!constant(arg)) return false;
        late = late || IsLateConst(arg);
      }
      return late;
    }
    default:
      return false;
  }
}

// Called by Fold for operators: arithmetic that a plain compilation would fold may widen its
// type or fail on the value, so the image must not serve other values.
void Checker::NoteLateFold(const Expr* expr) {
  if (late_literals_found_ == 0 || late_values_needed_) return;
  if (expr->kind == ExprKind::kUnary) {
    auto* unary = static_cast<const UnaryExpr*>(expr);
    if (unary->op == Op::kNeg && IsLateConst(unary->operand)) late_values_needed_ = true;
    return;
  }
  if (expr->kind != ExprKind::kBinary) return;
  auto* binary = static_cast<const BinaryExpr*>(expr);
  if (!IsArithmetic(binary->op) || !binary->type->IsNumeric()) return;
  if (IsLateConst(binary)) late_values_needed_ = true;
}

}  // namespace qorsv::script::compiler_internal
