// Expressions of the parser.
#include <algorithm>

#include "scriptengine/parser.h"

namespace qorsv::script::compiler_internal {

namespace {
constexpr int kMaxNesting = 200;
}

Parser::NestingGuard::NestingGuard(Parser& parser) : parser_(parser) {
  if (++parser_.nesting_ > kMaxNesting) parser_.Fail("Nesting too deep");
}

void Parser::SetDepth(Expr* node, std::initializer_list<const Expr*> children) {
  int depth = 0;
  for (const Expr* child : children) {
    if (child != nullptr) depth = std::max<int>(depth, child->depth);
  }
  if (depth + 1 > kMaxExpressionDepth) throw CompileError(node->pos, "Expression too complex");
  node->depth = static_cast<uint16_t>(depth + 1);
}

Expr* Parser::MakeBinary(Op op, Expr* left, Expr* right, SourcePos pos) {
  auto* binary = arena_.New<BinaryExpr>();
  binary->kind = ExprKind::kBinary;
  binary->op = op;
  binary->pos = pos;
  binary->left = left;
  binary->right = right;
  SetDepth(binary, {left, right});
  return binary;
}

Expr* Parser::ParseExpression() {
  NestingGuard guard(*this);
  Expr* left = ParseSimpleExpression();
  Op op = Op::kNone;
  switch (token_.kind) {
    case Tok::kEq:
      op = Op::kEq;
      break;
    case Tok::kNe:
      op = Op::kNe;
      break;
    case Tok::kLt:
      op = Op::kLt;
      break;
    case Tok::kGt:
      op = Op::kGt;
      break;
    case Tok::kLe:
      op = Op::kLe;
      break;
    case Tok::kGe:
      op = Op::kGe;
      break;
    case Tok::kIdent:
      if (IsKeyword(kKwIn)) op = Op::kIn;
      if (IsWord(kWordIs)) op = Op::kIs;
      break;
    default:
      break;
  }
  if (op == Op::kNone) return left;
  SourcePos pos = Here();
  Advance();
  Expr* right = ParseSimpleExpression();
  return MakeBinary(op, left, right, pos);
}

Expr* Parser::ParseSimpleExpression() {
  Expr* left = ParseTerm();
  for (;;) {
    Op op = Op::kNone;
    if (Is(Tok::kPlus))
      op = Op::kAdd;
    else if (Is(Tok::kMinus))
      op = Op::kSub;
    else if (IsKeyword(kKwOr))
      op = Op::kOr;
    else if (IsKeyword(kKwXor))
      op = Op::kXor;
    if (op == Op::kNone) return left;
    SourcePos pos = Here();
    Advance();
    left = MakeBinary(op, left, ParseTerm(), pos);
  }
}

Expr* Parser::ParseTerm() {
  Expr* left = ParseFactor();
  for (;;) {
    Op op = Op::kNone;
    if (Is(Tok::kStar))
      op = Op::kMul;
    else if (Is(Tok::kSlash))
      op = Op::kDivide;
    else if (IsKeyword(kKwDiv))
      op = Op::kIntDiv;
    else if (IsKeyword(kKwMod))
      op = Op::kMod;
    else if (IsKeyword(kKwAnd))
      op = Op::kAnd;
    else if (IsKeyword(kKwShl))
      op = Op::kShl;
    else if (IsKeyword(kKwShr))
      op = Op::kShr;
    else if (IsWord(kWordAs))
      op = Op::kAs;
    if (op == Op::kNone) return left;
    SourcePos pos = Here();
    Advance();
    left = MakeBinary(op, left, ParseFactor(), pos);
  }
}

Expr* Parser::ParseFactor() {
  SourcePos pos = Here();
  switch (token_.kind) {
    case Tok::kInt: {
      auto* literal = arena_.New<IntLit>();
      literal->kind = ExprKind::kIntLit;
      literal->pos = pos;
      literal->value = static_cast<int64_t>(token_.int_value);
      Advance();
      return ParseDesignator(literal);
    }
    case Tok::kFloat: {
      auto* literal = arena_.New<FloatLit>();
      literal->kind = ExprKind::kFloatLit;
      literal->pos = pos;
      literal->value = token_.float_value;
      Advance();
      return literal;
    }
    case Tok::kString: {
      auto* literal = arena_.New<StrLit>();
      literal->kind = ExprKind::kStrLit;
      literal->pos = pos;
      literal->value = token_.string_in_text ? token_.string_view : arena_.Copy(token_.string_view);
      Advance();
      return ParseDesignator(literal);
    }
    case Tok::kLParen: {
      Advance();
      Expr* inner = ParseExpression();
      Expect(Tok::kRParen);
      return ParseDesignator(inner);
    }
    case Tok::kLBracket:
      return ParseSetConstructor();
    case Tok::kMinus:
    case Tok::kPlus: {
      // A sign inside a term, as in 2 * -3.
      Op op = Is(Tok::kMinus) ? Op::kNeg : Op::kPos;
      Advance();
      auto* unary = arena_.New<UnaryExpr>();
      unary->kind = ExprKind::kUnary;
      unary->op = op;
      unary->pos = pos;
      unary->operand = ParseFactor();
      SetDepth(unary, {unary->operand});
      return unary;
    }
    case Tok::kAt:
      Fail("The address operator is not supported");
    case Tok::kIdent: {
      if (IsKeyword(kKwNot)) {
        Advance();
        auto* unary = arena_.New<UnaryExpr>();
        unary->kind = ExprKind::kUnary;
        unary->op = Op::kNot;
        unary->pos = pos;
        unary->operand = ParseFactor();
        SetDepth(unary, {unary->operand});
        return unary;
      }
      if (IsKeyword(kKwNil)) {
        Advance();
        auto* nil = arena_.New<Expr>();
        nil->kind = ExprKind::kNil;
        nil->pos = pos;
        return nil;
      }
      if (interner_.IsKeyword(token_.ident) && token_.ident != kWordString) {
        Fail("Syntax error");
      }
      auto* name = arena_.New<NameExpr>();
      name->kind = ExprKind::kName;
      name->pos = pos;
      name->ident = token_.ident;
      name->spelling = token_.text;
      Advance();
      return ParseDesignator(name);
    }
    case Tok::kEof:
      Fail("Unexpected end of file");
    default:
      Fail("Syntax error");
  }
}

// Selectors after a primary: .field, [indices], (args), ^.
Expr* Parser::ParseDesignator(Expr* base) {
  for (;;) {
    SourcePos pos = Here();
    if (Is(Tok::kDot)) {
      Advance();
      auto* field = arena_.New<FieldExpr>();
      field->kind = ExprKind::kField;
      field->pos = Here();
      field->base = base;
      if (token_.kind != Tok::kIdent) Fail("Identifier expected");
      field->ident = token_.ident;
      field->spelling = token_.text;
      Advance();
      SetDepth(field, {base});
      base = field;
    } else if (Is(Tok::kLBracket)) {
      Advance();
      auto* index = arena_.New<IndexExpr>();
      index->kind = ExprKind::kIndex;
      index->pos = pos;
      index->base = base;
      index->indices = ParseArgs(Tok::kRBracket);
      if (index->indices.empty()) Fail("Syntax error");
      SetDepth(index, {base});
      for (const Expr* arg : index->indices) {
        if (arg->depth >= index->depth) SetDepth(index, {arg});
      }
      base = index;
    } else if (Is(Tok::kLParen)) {
      Advance();
      auto* call = arena_.New<CallExpr>();
      call->kind = ExprKind::kCall;
      call->pos = base->pos;
      call->callee = base;
      call->has_parens = true;
      call->args = ParseArgs(Tok::kRParen);
      SetDepth(call, {base});
      for (const Expr* arg : call->args) {
        if (arg->depth >= call->depth) SetDepth(call, {arg});
      }
      base = call;
    } else if (Is(Tok::kCaret)) {
      Fail("Pointers are not supported");
    } else {
      return base;
    }
  }
}

Span<Expr*> Parser::ParseArgs(Tok closing) {
  // Arguments collect on a shared stack (nested calls push above) to spare an allocation each.
  size_t mark = expr_stack_.size();
  if (!Is(closing)) {
    for (;;) {
      Expr* arg = ParseExpression();
      expr_stack_.push_back(arg);
      if (!Is(Tok::kComma)) break;
      Advance();
    }
  }
  Expect(closing);
  Span<Expr*> args = MakeSpan(arena_, expr_stack_.data() + mark, expr_stack_.size() - mark);
  expr_stack_.resize(mark);
  return args;
}

Expr* Parser::ParseSetConstructor() {
  auto* set = arena_.New<SetExpr>();
  set->kind = ExprKind::kSet;
  set->pos = Here();
  Advance();
  std::vector<SetElement> elements;
  if (!Is(Tok::kRBracket)) {
    for (;;) {
      SetElement element{};
      element.low = ParseExpression();
      element.high = nullptr;
      if (Is(Tok::kDotDot)) {
        Advance();
        element.high = ParseExpression();
      }
      elements.push_back(element);
      if (!Is(Tok::kComma)) break;
      Advance();
    }
  }
  Expect(Tok::kRBracket);
  set->elements = MakeSpan(arena_, elements);
  for (const SetElement& element : elements) {
    if (element.low->depth >= set->depth) SetDepth(set, {element.low});
    if (element.high != nullptr && element.high->depth >= set->depth) SetDepth(set, {element.high});
  }
  return set;
}

}  // namespace qorsv::script::compiler_internal
