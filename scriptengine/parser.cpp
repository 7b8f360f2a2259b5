#include "scriptengine/parser.h"

#include <string>

namespace qorsv::script::compiler_internal {
namespace {

std::string ExpectedText(Tok kind) {
  switch (kind) {
    case Tok::kSemicolon:
      return "Semicolon (';') expected";
    case Tok::kColon:
      return "Colon (':') expected";
    case Tok::kComma:
      return "Comma (',') expected";
    case Tok::kDot:
      return "Period ('.') expected";
    case Tok::kEq:
      return "Equal sign ('=') expected";
    case Tok::kAssign:
      return "Assignment (':=') expected";
    case Tok::kLParen:
      return "Opening parenthesis ('(') expected";
    case Tok::kRParen:
      return "Closing parenthesis (')') expected";
    case Tok::kLBracket:
      return "Opening square bracket ('[') expected";
    case Tok::kRBracket:
      return "Closing square bracket (']') expected";
    case Tok::kDotDot:
      return "'..' expected";
    case Tok::kIdent:
      return "Identifier expected";
    default:
      return TokenName(kind) + " expected";
  }
}

}  // namespace

Parser::Parser(std::string_view text, Interner& interner, Arena& arena)
    : lexer_(text, interner), interner_(interner), arena_(arena) {}

void Parser::Advance() { lexer_.Next(token_); }

bool Parser::IsCallingConventionWord() const {
  return token_.kind == Tok::kIdent && token_.ident >= kWordStdcall && token_.ident <= kWordSafecall;
}

void Parser::Fail(const std::string& text) const { throw CompileError(Here(), text); }

void Parser::Expect(Tok kind) {
  if (token_.kind != kind) Fail(ExpectedText(kind));
  Advance();
}

void Parser::ExpectKeyword(Keyword keyword) {
  if (!IsKeyword(keyword)) Fail("'" + interner_.Upper(keyword) + "' expected");
  Advance();
}

Ident Parser::ExpectIdent(std::string_view* spelling) {
  if (token_.kind != Tok::kIdent || interner_.IsKeyword(token_.ident)) {
    Fail("Identifier expected");
  }
  Ident ident = token_.ident;
  if (spelling != nullptr) *spelling = token_.text;
  Advance();
  return ident;
}

void Parser::ParseIdentList(std::vector<Ident>& idents, std::vector<std::string_view>& spellings,
                            std::vector<SourcePos>* positions) {
  for (;;) {
    if (positions != nullptr) positions->push_back(Here());
    std::string_view spelling;
    idents.push_back(ExpectIdent(&spelling));
    spellings.push_back(spelling);
    if (!Is(Tok::kComma)) break;
    Advance();
  }
}

// ---- Program structure ----

void Parser::ParseProgramHeader() {
  Advance();
  started_ = true;
  if (IsKeyword(kKwProgram)) {
    Advance();
    ExpectIdent(nullptr);
    Expect(Tok::kSemicolon);
  } else if (IsKeyword(kKwUnit)) {
    Fail("Units are not supported");
  }
}

TopLevelItem Parser::NextItem(bool main_block_optional) {
  TopLevelItem item;
  item.pos = Here();
  if (Is(Tok::kEof)) {
    if (!main_block_optional) Fail("'BEGIN' expected");
    item.kind = TopLevelItem::Kind::kEnd;
    return item;
  }
  if (token_.kind != Tok::kIdent) Fail("'BEGIN' expected");
  item.kind = TopLevelItem::Kind::kDecls;
  switch (static_cast<Keyword>(token_.ident)) {
    case kKwConst:
      ParseConstSection(item.decls);
      return item;
    case kKwType:
      ParseTypeSection(item.decls);
      return item;
    case kKwVar:
      ParseVarSection(item.decls);
      return item;
    case kKwUses:
      item.decls.push_back(ParseUses());
      return item;
    case kKwProcedure:
    case kKwFunction:
      item.decls.push_back(ParseRoutine());
      return item;
    case kKwProgram:
    case kKwUnit:
      Fail("'BEGIN' expected");
    case kKwBegin: {
      Advance();
      item.kind = TopLevelItem::Kind::kMainBlock;
      item.main_body = ParseStatementList(kKwEnd);
      item.end_pos = Here();
      ExpectKeyword(kKwEnd);
      // The final period ends the text: nothing after it is read. A script that may omit its
      // main block may also end right after `end`.
      if (Is(Tok::kDot)) {
        // Not advanced past: the text after the period is not read at all.
      } else if (main_block_optional && (Is(Tok::kSemicolon) || Is(Tok::kEof))) {
        if (Is(Tok::kSemicolon)) Advance();
        if (!Is(Tok::kEof)) Fail("Period ('.') expected");
      } else {
        Fail("Period ('.') expected");
      }
      return item;
    }
    default:
      Fail("'BEGIN' expected");
  }
}

UsesDecl* Parser::ParseUses() {
  auto* uses = arena_.New<UsesDecl>();
  uses->kind = DeclKind::kUses;
  uses->pos = Here();
  Advance();
  std::vector<Ident> idents;
  std::vector<std::string_view> spellings;
  std::vector<SourcePos> positions;
  ParseIdentList(idents, spellings, &positions);
  Expect(Tok::kSemicolon);
  uses->idents = MakeSpan(arena_, idents);
  uses->spellings = MakeSpan(arena_, spellings);
  uses->positions = MakeSpan(arena_, positions);
  return uses;
}

void Parser::ParseConstSection(std::vector<Decl*>& out) {
  Advance();
  do {
    auto* decl = arena_.New<ConstDecl>();
    decl->kind = DeclKind::kConst;
    decl->pos = Here();
    decl->ident = ExpectIdent(&decl->spelling);
    decl->type = nullptr;
    if (Is(Tok::kColon)) {
      Advance();
      decl->type = ParseType();
    }
    Expect(Tok::kEq);
    decl->value = ParseExpression();
    Expect(Tok::kSemicolon);
    out.push_back(decl);
  } while (token_.kind == Tok::kIdent && !interner_.IsKeyword(token_.ident));
}

void Parser::ParseTypeSection(std::vector<Decl*>& out) {
  Advance();
  do {
    auto* decl = arena_.New<TypeDecl>();
    decl->kind = DeclKind::kType;
    decl->pos = Here();
    decl->ident = ExpectIdent(&decl->spelling);
    Expect(Tok::kEq);
    decl->type = ParseType();
    Expect(Tok::kSemicolon);
    out.push_back(decl);
  } while (token_.kind == Tok::kIdent && !interner_.IsKeyword(token_.ident));
}

void Parser::ParseVarSection(std::vector<Decl*>& out) {
  Advance();
  do {
    auto* decl = arena_.New<VarDecl>();
    decl->kind = DeclKind::kVar;
    decl->pos = Here();
    std::vector<Ident> idents;
    std::vector<std::string_view> spellings;
    std::vector<SourcePos> positions;
    ParseIdentList(idents, spellings, &positions);
    Expect(Tok::kColon);
    decl->type = ParseType();
    decl->initial = nullptr;
    if (Is(Tok::kEq)) {
      if (idents.size() != 1) Fail("Semicolon (';') expected");
      Advance();
      decl->initial = ParseExpression();
    }
    Expect(Tok::kSemicolon);
    decl->idents = MakeSpan(arena_, idents);
    decl->spellings = MakeSpan(arena_, spellings);
    decl->positions = MakeSpan(arena_, positions);
    out.push_back(decl);
  } while (token_.kind == Tok::kIdent && !interner_.IsKeyword(token_.ident));
}

// ---- Routines ----

RoutineDecl* Parser::ParseHeading() {
  auto* routine = arena_.New<RoutineDecl>();
  routine->kind = DeclKind::kRoutine;
  routine->pos = Here();
  routine->is_function = IsKeyword(kKwFunction);
  Advance();
  routine->ident = ExpectIdent(&routine->spelling);
  if (Is(Tok::kDot)) Fail("Methods are not supported");
  routine->params = {};
  if (Is(Tok::kLParen)) {
    Advance();
    if (!Is(Tok::kRParen)) routine->params = ParseParams();
    Expect(Tok::kRParen);
  }
  routine->result = nullptr;
  if (routine->is_function) {
    Expect(Tok::kColon);
    routine->result = ParseType();
  }
  routine->is_forward = false;
  routine->is_external = false;
  routine->has_body = false;
  routine->locals = {};
  routine->body = {};
  return routine;
}

Span<ParamDecl> Parser::ParseParams() {
  std::vector<ParamDecl> params;
  for (;;) {
    ParamDecl param{};
    param.pos = Here();
    param.mode = ParamMode::kValue;
    if (IsKeyword(kKwVar)) {
      param.mode = ParamMode::kVar;
      Advance();
    } else if (IsKeyword(kKwConst)) {
      param.mode = ParamMode::kConst;
      Advance();
    } else if (IsWord(kWordOut)) {
      // `out` is only a mode when a name follows it.
      Token saved = token_;
      Advance();
      if (token_.kind == Tok::kIdent && !interner_.IsKeyword(token_.ident)) {
        param.mode = ParamMode::kOut;
      } else {
        param.pos = {saved.row, saved.col};
        std::vector<Ident> idents{saved.ident};
        std::vector<std::string_view> spellings{saved.text};
        if (Is(Tok::kComma)) {
          Advance();
          ParseIdentList(idents, spellings, nullptr);
        }
        param.idents = MakeSpan(arena_, idents);
        param.spellings = MakeSpan(arena_, spellings);
        goto after_names;
      }
    }
    {
      // The names collect on the parser's shared stacks (no vectors made for each group).
      size_t mark = ident_stack_.size();
      ParseIdentList(ident_stack_, spelling_stack_, nullptr);
      param.idents = MakeSpan(arena_, ident_stack_.data() + mark, ident_stack_.size() - mark);
      param.spellings =
          MakeSpan(arena_, spelling_stack_.data() + mark, spelling_stack_.size() - mark);
      ident_stack_.resize(mark);
      spelling_stack_.resize(mark);
    }
  after_names:
    param.type = nullptr;
    param.default_value = nullptr;
    if (Is(Tok::kColon)) {
      Advance();
      param.type = ParseType();
      if (Is(Tok::kEq)) {
        Advance();
        param.default_value = ParseExpression();
      }
    } else if (param.mode == ParamMode::kValue) {
      Fail("Colon (':') expected");
    }
    params.push_back(param);
    if (!Is(Tok::kSemicolon)) break;
    Advance();
  }
  return MakeSpan(arena_, params);
}

void Parser::ParseDirectives(RoutineDecl* routine) {
  for (;;) {
    if (IsWord(kWordForward)) {
      routine->is_forward = true;
      Advance();
      Expect(Tok::kSemicolon);
    } else if (IsWord(kWordExternal)) {
      routine->is_external = true;
      Advance();
      routine->external_pos = Here();
      if (!Is(Tok::kString)) Fail("String constant expected");
      routine->external_text = arena_.Copy(token_.string_view);
      Advance();
      // Delphi's `external 'lib' name 'fn'` form is not part of the dialect.
      while (token_.kind == Tok::kIdent && !interner_.IsKeyword(token_.ident) &&
             !Is(Tok::kSemicolon)) {
        if (!IsCallingConventionWord()) break;
        Advance();
      }
      Expect(Tok::kSemicolon);
    } else {
      if (!IsCallingConventionWord()) return;
      Advance();
      Expect(Tok::kSemicolon);
    }
  }
}

RoutineDecl* Parser::ParseRoutine() {
  NestingGuard guard(*this);
  RoutineDecl* routine = ParseHeading();
  Expect(Tok::kSemicolon);
  ParseDirectives(routine);
  if (routine->is_forward || routine->is_external) return routine;
  std::vector<Decl*> locals;
  ParseLocalDecls(locals);
  routine->locals = MakeSpan(arena_, locals);
  if (!IsKeyword(kKwBegin)) Fail("'BEGIN' expected");
  Advance();
  routine->body = ParseStatementList(kKwEnd);
  routine->end_pos = Here();
  ExpectKeyword(kKwEnd);
  Expect(Tok::kSemicolon);
  routine->has_body = true;
  return routine;
}

void Parser::ParseLocalDecls(std::vector<Decl*>& out) {
  for (;;) {
    if (IsKeyword(kKwConst)) {
      ParseConstSection(out);
    } else if (IsKeyword(kKwType)) {
      ParseTypeSection(out);
    } else if (IsKeyword(kKwVar)) {
      ParseVarSection(out);
    } else if (IsKeyword(kKwProcedure) || IsKeyword(kKwFunction)) {
      out.push_back(ParseRoutine());
    } else {
      return;
    }
  }
}

RoutineDecl* Parser::ParseHeadingOnly() {
  Advance();
  started_ = true;
  if (!IsKeyword(kKwProcedure) && !IsKeyword(kKwFunction)) Fail("'PROCEDURE' expected");
  RoutineDecl* routine = ParseHeading();
  if (Is(Tok::kSemicolon)) Advance();
  // Calling-convention directives may follow a native's heading.
  while (token_.kind == Tok::kIdent) {
    if (!IsCallingConventionWord()) break;
    Advance();
    if (Is(Tok::kSemicolon)) Advance();
  }
  if (!Is(Tok::kEof)) Fail("Unexpected text after the declaration");
  return routine;
}

// ---- Types ----

TypeExpr* Parser::ParseType() {
  NestingGuard guard(*this);
  SourcePos pos = Here();
  if (IsWord(kWordPacked)) Advance();
  if (IsKeyword(kKwArray)) return ParseArrayType();
  if (IsKeyword(kKwRecord)) return ParseRecordType();
  if (IsKeyword(kKwSet)) {
    Advance();
    ExpectKeyword(kKwOf);
    auto* set = arena_.New<SetTypeExpr>();
    set->kind = TypeExprKind::kSet;
    set->pos = pos;
    set->element = ParseType();
    return set;
  }
  if (Is(Tok::kLParen)) {
    Advance();
    std::vector<Ident> idents;
    std::vector<std::string_view> spellings;
    std::vector<SourcePos> positions;
    ParseIdentList(idents, spellings, &positions);
    Expect(Tok::kRParen);
    auto* enumeration = arena_.New<EnumTypeExpr>();
    enumeration->kind = TypeExprKind::kEnum;
    enumeration->pos = pos;
    enumeration->idents = MakeSpan(arena_, idents);
    enumeration->spellings = MakeSpan(arena_, spellings);
    enumeration->positions = MakeSpan(arena_, positions);
    return enumeration;
  }
  if (Is(Tok::kCaret)) Fail("Pointer types are not supported");
  if (IsKeyword(kKwProcedure) || IsKeyword(kKwFunction)) {
    Fail("Procedural types are not supported");
  }
  if (IsKeyword(kKwClass) || IsKeyword(kKwInterface)) Fail("Classes are not supported");
  if (token_.kind == Tok::kIdent && interner_.IsKeyword(token_.ident)) Fail("Type expected");
  // A name, string[N], or a subrange of constant expressions.
  if (!Is(Tok::kIdent) && !Is(Tok::kInt) && !Is(Tok::kString) && !Is(Tok::kMinus) &&
      !Is(Tok::kPlus)) {
    Fail("Type expected");
  }
  Expr* first = ParseSimpleExpression();
  if (Is(Tok::kDotDot)) {
    Advance();
    auto* range = arena_.New<SubrangeTypeExpr>();
    range->kind = TypeExprKind::kSubrange;
    range->pos = pos;
    range->low = first;
    range->high = ParseSimpleExpression();
    return range;
  }
  if (first->kind == ExprKind::kName) {
    auto* named = arena_.New<NamedTypeExpr>();
    named->kind = TypeExprKind::kNamed;
    named->pos = pos;
    named->ident = static_cast<NameExpr*>(first)->ident;
    named->spelling = static_cast<NameExpr*>(first)->spelling;
    return named;
  }
  if (first->kind == ExprKind::kIndex) {
    auto* index = static_cast<IndexExpr*>(first);
    if (index->base->kind == ExprKind::kName &&
        static_cast<NameExpr*>(index->base)->ident == kWordString && index->indices.size == 1) {
      auto* named = arena_.New<NamedTypeExpr>();
      named->kind = TypeExprKind::kShortString;
      named->pos = pos;
      named->ident = kWordString;
      named->spelling = static_cast<NameExpr*>(index->base)->spelling;
      return named;
    }
  }
  throw CompileError(pos, "Type expected");
}

TypeExpr* Parser::ParseArrayType() {
  auto* array = arena_.New<ArrayTypeExpr>();
  array->kind = TypeExprKind::kArray;
  array->pos = Here();
  Advance();
  std::vector<TypeExpr*> indices;
  if (Is(Tok::kLBracket)) {
    Advance();
    for (;;) {
      indices.push_back(ParseType());
      if (!Is(Tok::kComma)) break;
      Advance();
    }
    Expect(Tok::kRBracket);
  }
  ExpectKeyword(kKwOf);
  if (IsKeyword(kKwConst)) Fail("'array of const' is not supported");
  array->indices = MakeSpan(arena_, indices);
  array->element = ParseType();
  return array;
}

TypeExpr* Parser::ParseRecordType() {
  auto* record = arena_.New<RecordTypeExpr>();
  record->kind = TypeExprKind::kRecord;
  record->pos = Here();
  Advance();
  std::vector<FieldDecl> fields;
  while (!IsKeyword(kKwEnd)) {
    if (IsKeyword(kKwCase)) Fail("Variant records are not supported");
    std::vector<Ident> idents;
    std::vector<std::string_view> spellings;
    std::vector<SourcePos> positions;
    ParseIdentList(idents, spellings, &positions);
    Expect(Tok::kColon);
    FieldDecl field{};
    field.idents = MakeSpan(arena_, idents);
    field.spellings = MakeSpan(arena_, spellings);
    field.positions = MakeSpan(arena_, positions);
    field.type = ParseType();
    fields.push_back(field);
    if (!Is(Tok::kSemicolon)) break;
    Advance();
  }
  ExpectKeyword(kKwEnd);
  record->fields = MakeSpan(arena_, fields);
  return record;
}

}  // namespace qorsv::script::compiler_internal
