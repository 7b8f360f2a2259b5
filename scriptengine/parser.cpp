#include "scriptengine/parser.h"

#include <string>

namespace qorsv::script::compiler_internal {
namespace {

std::string ExpectedText(Tok kind) {
  switch (kind) {
    case Tok::kSemicolon: return "Semicolon (';') expected";
    case Tok::kColon: return "Colon (':') expected";
    case Tok::kComma: return "Comma (',') expected";
    case Tok::kDot: return "Period ('.') expected";
    case Tok::kEq: return "Equal sign ('=') expected";
    case Tok::kAssign: return "Assignment (':=') expected";
    case Tok::kLParen: return "Opening parenthesis ('(') expected";
    case Tok::kRParen: return "Closing parenthesis (')') expected";
    case Tok::kLBracket: return "Opening square bracket ('[') expected";
    case Tok::kRBracket: return "Closing square bracket (']') expected";
    case Tok::kDotDot: return "'..' expected";
    case Tok::kIdent: return "Identifier expected";
    default: return TokenName(kind) + " expected";
  }
}

}  // namespace

Parser::Parser(std::string_view text, Interner& interner, Arena& arena)
    : lexer_(text, interner), interner_(interner), arena_(arena) {
  exit_word_ = interner.Intern("EXIT");
  break_word_ = interner.Intern("BREAK");
  continue_word_ = interner.Intern("CONTINUE");
  forward_word_ = interner.Intern("FORWARD");
  external_word_ = interner.Intern("EXTERNAL");
  out_word_ = interner.Intern("OUT");
  string_word_ = interner.Intern("STRING");
  otherwise_word_ = interner.Intern("OTHERWISE");
  packed_word_ = interner.Intern("PACKED");
  on_word_ = interner.Intern("ON");
  for (const char* word : {"STDCALL", "CDECL", "REGISTER", "PASCAL", "OVERLOAD", "SAFECALL"}) {
    calling_convention_words_.push_back(interner.Intern(word));
  }
}

void Parser::Advance() { lexer_.Next(token_); }

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
    case kKwConst: ParseConstSection(item.decls); return item;
    case kKwType: ParseTypeSection(item.decls); return item;
    case kKwVar: ParseVarSection(item.decls); return item;
    case kKwUses: item.decls.push_back(ParseUses()); return item;
    case kKwProcedure:
    case kKwFunction: item.decls.push_back(ParseRoutine()); return item;
    case kKwProgram:
    case kKwUnit: Fail("'BEGIN' expected");
    case kKwBegin: {
      Advance();
      item.kind = TopLevelItem::Kind::kMainBlock;
      item.main_body = ParseStatementList(kKwEnd);
      item.end_pos = Here();
      ExpectKeyword(kKwEnd);
      // The final period; a script that may omit its main block may also end after `end`.
      if (Is(Tok::kDot)) {
        Advance();
      } else if (main_block_optional && (Is(Tok::kSemicolon) || Is(Tok::kEof))) {
        if (Is(Tok::kSemicolon)) Advance();
        if (!Is(Tok::kEof)) Fail("Period ('.') expected");
      } else {
        Fail("Period ('.') expected");
      }
      return item;
    }
    default: Fail("'BEGIN' expected");
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
    } else if (IsWord(out_word_)) {
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
      std::vector<Ident> idents;
      std::vector<std::string_view> spellings;
      ParseIdentList(idents, spellings, nullptr);
      param.idents = MakeSpan(arena_, idents);
      param.spellings = MakeSpan(arena_, spellings);
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
    if (IsWord(forward_word_)) {
      routine->is_forward = true;
      Advance();
      Expect(Tok::kSemicolon);
    } else if (IsWord(external_word_)) {
      routine->is_external = true;
      Advance();
      routine->external_pos = Here();
      if (!Is(Tok::kString)) Fail("String constant expected");
      routine->external_text = arena_.Copy(token_.string_value);
      Advance();
      // Delphi's `external 'lib' name 'fn'` form is not part of the dialect.
      while (token_.kind == Tok::kIdent && !interner_.IsKeyword(token_.ident) &&
             !Is(Tok::kSemicolon)) {
        bool known = false;
        for (Ident word : calling_convention_words_) known = known || IsWord(word);
        if (!known) break;
        Advance();
      }
      Expect(Tok::kSemicolon);
    } else {
      bool known = false;
      for (Ident word : calling_convention_words_) known = known || IsWord(word);
      if (!known) return;
      Advance();
      Expect(Tok::kSemicolon);
    }
  }
}

RoutineDecl* Parser::ParseRoutine() {
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
    bool known = false;
    for (Ident word : calling_convention_words_) known = known || IsWord(word);
    if (!known) break;
    Advance();
    if (Is(Tok::kSemicolon)) Advance();
  }
  if (!Is(Tok::kEof)) Fail("Unexpected text after the declaration");
  return routine;
}

// ---- Types ----

TypeExpr* Parser::ParseType() {
  SourcePos pos = Here();
  if (IsWord(packed_word_)) Advance();
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
        static_cast<NameExpr*>(index->base)->ident == string_word_ && index->indices.size == 1) {
      auto* named = arena_.New<NamedTypeExpr>();
      named->kind = TypeExprKind::kShortString;
      named->pos = pos;
      named->ident = string_word_;
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

// ---- Statements ----

// Statements separated by semicolons up to one of the terminators (not consumed).
Span<Stmt*> Parser::ParseStatementList(Keyword terminator1, Keyword terminator2,
                                       Keyword terminator3) {
  std::vector<Stmt*> statements;
  for (;;) {
    if (IsKeyword(terminator1) || IsKeyword(terminator2) || IsKeyword(terminator3)) break;
    Stmt* statement = ParseStatement();
    if (statement->kind != StmtKind::kEmpty) statements.push_back(statement);
    if (Is(Tok::kSemicolon)) {
      Advance();
      continue;
    }
    if (IsKeyword(terminator1) || IsKeyword(terminator2) || IsKeyword(terminator3)) break;
    if (Is(Tok::kEof)) Fail("Unexpected end of file");
    Fail("Semicolon (';') expected");
  }
  return MakeSpan(arena_, statements);
}

Stmt* Parser::ParseStatement() {
  if (token_.kind == Tok::kIdent) {
    switch (static_cast<Keyword>(token_.ident)) {
      case kKwBegin: return ParseCompound();
      case kKwIf: return ParseIf();
      case kKwCase: return ParseCase();
      case kKwFor: return ParseFor();
      case kKwWhile: return ParseWhile();
      case kKwRepeat: return ParseRepeat();
      case kKwWith: return ParseWith();
      case kKwTry: return ParseTry();
      case kKwRaise: return ParseRaise();
      case kKwGoto:
      case kKwLabel: Fail("Labels are not supported");
      default: break;
    }
    if (token_.ident == exit_word_) return ParseExit();
    if (token_.ident == break_word_ || token_.ident == continue_word_) {
      auto* jump = arena_.New<Stmt>();
      jump->kind = token_.ident == break_word_ ? StmtKind::kBreak : StmtKind::kContinue;
      jump->pos = Here();
      Advance();
      return jump;
    }
    if (!interner_.IsKeyword(token_.ident)) return ParseSimpleStatement();
  }
  if (Is(Tok::kLParen)) return ParseSimpleStatement();
  auto* empty = arena_.New<Stmt>();
  empty->kind = StmtKind::kEmpty;
  empty->pos = Here();
  if (!Is(Tok::kSemicolon) && !IsKeyword(kKwEnd) && !IsKeyword(kKwUntil) &&
      !IsKeyword(kKwExcept) && !IsKeyword(kKwFinally) && !IsKeyword(kKwElse)) {
    if (Is(Tok::kEof)) Fail("Unexpected end of file");
    Fail("Syntax error");
  }
  return empty;
}

Stmt* Parser::ParseCompound() {
  auto* compound = arena_.New<CompoundStmt>();
  compound->kind = StmtKind::kCompound;
  compound->pos = Here();
  Advance();
  compound->body = ParseStatementList(kKwEnd);
  ExpectKeyword(kKwEnd);
  return compound;
}

Stmt* Parser::ParseIf() {
  auto* branch = arena_.New<IfStmt>();
  branch->kind = StmtKind::kIf;
  branch->pos = Here();
  Advance();
  branch->condition = ParseExpression();
  ExpectKeyword(kKwThen);
  branch->then_branch = ParseStatement();
  branch->else_branch = nullptr;
  if (IsKeyword(kKwElse)) {
    Advance();
    branch->else_branch = ParseStatement();
  }
  return branch;
}

Stmt* Parser::ParseCase() {
  auto* statement = arena_.New<CaseStmt>();
  statement->kind = StmtKind::kCase;
  statement->pos = Here();
  Advance();
  statement->selector = ParseExpression();
  ExpectKeyword(kKwOf);
  std::vector<CaseBranch> branches;
  statement->has_else = false;
  statement->else_body = {};
  while (!IsKeyword(kKwEnd)) {
    if (IsKeyword(kKwElse) || IsWord(otherwise_word_)) {
      Advance();
      statement->has_else = true;
      statement->else_body = ParseStatementList(kKwEnd);
      break;
    }
    std::vector<CaseLabel> labels;
    for (;;) {
      CaseLabel label{};
      label.low = ParseExpression();
      label.high = nullptr;
      if (Is(Tok::kDotDot)) {
        Advance();
        label.high = ParseExpression();
      }
      labels.push_back(label);
      if (!Is(Tok::kComma)) break;
      Advance();
    }
    Expect(Tok::kColon);
    CaseBranch branch{};
    branch.labels = MakeSpan(arena_, labels);
    branch.body = ParseStatement();
    branches.push_back(branch);
    if (Is(Tok::kSemicolon)) {
      Advance();
    } else if (!IsKeyword(kKwEnd) && !IsKeyword(kKwElse) && !IsWord(otherwise_word_)) {
      Fail("Semicolon (';') expected");
    }
  }
  ExpectKeyword(kKwEnd);
  statement->branches = MakeSpan(arena_, branches);
  return statement;
}

Stmt* Parser::ParseFor() {
  auto* loop = arena_.New<ForStmt>();
  loop->kind = StmtKind::kFor;
  loop->pos = Here();
  Advance();
  SourcePos var_pos = Here();
  std::string_view spelling;
  Ident ident = ExpectIdent(&spelling);
  auto* variable = arena_.New<NameExpr>();
  variable->kind = ExprKind::kName;
  variable->pos = var_pos;
  variable->ident = ident;
  variable->spelling = spelling;
  loop->variable = variable;
  Expect(Tok::kAssign);
  loop->from = ParseExpression();
  if (IsKeyword(kKwTo)) {
    loop->downto = false;
  } else if (IsKeyword(kKwDownto)) {
    loop->downto = true;
  } else {
    Fail("'TO' expected");
  }
  Advance();
  loop->to = ParseExpression();
  ExpectKeyword(kKwDo);
  loop->body = ParseStatement();
  return loop;
}

Stmt* Parser::ParseWhile() {
  auto* loop = arena_.New<WhileStmt>();
  loop->kind = StmtKind::kWhile;
  loop->pos = Here();
  Advance();
  loop->condition = ParseExpression();
  ExpectKeyword(kKwDo);
  loop->body = ParseStatement();
  return loop;
}

Stmt* Parser::ParseRepeat() {
  auto* loop = arena_.New<RepeatStmt>();
  loop->kind = StmtKind::kRepeat;
  loop->pos = Here();
  Advance();
  loop->body = ParseStatementList(kKwUntil);
  ExpectKeyword(kKwUntil);
  loop->condition = ParseExpression();
  return loop;
}

Stmt* Parser::ParseWith() {
  auto* with = arena_.New<WithStmt>();
  with->kind = StmtKind::kWith;
  with->pos = Here();
  Advance();
  std::vector<Expr*> subjects;
  for (;;) {
    subjects.push_back(ParseExpression());
    if (!Is(Tok::kComma)) break;
    Advance();
  }
  ExpectKeyword(kKwDo);
  with->subjects = MakeSpan(arena_, subjects);
  with->hidden = {};
  with->body = ParseStatement();
  return with;
}

Stmt* Parser::ParseTry() {
  auto* attempt = arena_.New<TryStmt>();
  attempt->kind = StmtKind::kTry;
  attempt->pos = Here();
  Advance();
  attempt->body = ParseStatementList(kKwExcept, kKwFinally);
  attempt->has_except = false;
  attempt->has_finally = false;
  attempt->except_body = {};
  attempt->finally_body = {};
  if (IsKeyword(kKwExcept)) {
    Advance();
    if (IsWord(on_word_)) Fail("'on' exception handlers are not supported");
    attempt->has_except = true;
    attempt->except_body = ParseStatementList(kKwEnd, kKwFinally);
    if (IsKeyword(kKwFinally)) {
      Advance();
      attempt->has_finally = true;
      attempt->finally_body = ParseStatementList(kKwEnd);
    }
  } else if (IsKeyword(kKwFinally)) {
    Advance();
    attempt->has_finally = true;
    attempt->finally_body = ParseStatementList(kKwEnd, kKwExcept);
    if (IsKeyword(kKwExcept)) {
      Advance();
      attempt->has_except = true;
      attempt->except_body = ParseStatementList(kKwEnd);
    }
  } else {
    Fail("'EXCEPT' expected");
  }
  ExpectKeyword(kKwEnd);
  return attempt;
}

Stmt* Parser::ParseRaise() {
  auto* raise = arena_.New<RaiseStmt>();
  raise->kind = StmtKind::kRaise;
  raise->pos = Here();
  Advance();
  raise->exception = nullptr;
  if (!Is(Tok::kSemicolon) && !IsKeyword(kKwEnd) && !IsKeyword(kKwElse) &&
      !IsKeyword(kKwUntil) && !IsKeyword(kKwExcept) && !IsKeyword(kKwFinally)) {
    raise->exception = ParseExpression();
  }
  return raise;
}

Stmt* Parser::ParseExit() {
  auto* exit = arena_.New<ExitStmt>();
  exit->kind = StmtKind::kExit;
  exit->pos = Here();
  exit->value = nullptr;
  Advance();
  if (Is(Tok::kLParen)) {
    Advance();
    if (!Is(Tok::kRParen)) exit->value = ParseExpression();
    Expect(Tok::kRParen);
  }
  return exit;
}

Stmt* Parser::ParseSimpleStatement() {
  SourcePos pos = Here();
  Expr* target = ParseFactor();
  if (Is(Tok::kAssign)) {
    Advance();
    auto* assign = arena_.New<AssignStmt>();
    assign->kind = StmtKind::kAssign;
    assign->pos = pos;
    assign->target = target;
    assign->value = ParseExpression();
    return assign;
  }
  if (Is(Tok::kEq)) Fail("Assignment (':=') expected");
  auto* call = arena_.New<CallStmt>();
  call->kind = StmtKind::kCall;
  call->pos = pos;
  call->call = target;
  return call;
}

// ---- Expressions ----

Expr* Parser::MakeBinary(Op op, Expr* left, Expr* right, SourcePos pos) {
  auto* binary = arena_.New<BinaryExpr>();
  binary->kind = ExprKind::kBinary;
  binary->op = op;
  binary->pos = pos;
  binary->left = left;
  binary->right = right;
  return binary;
}

Expr* Parser::ParseExpression() {
  Expr* left = ParseSimpleExpression();
  Op op = Op::kNone;
  switch (token_.kind) {
    case Tok::kEq: op = Op::kEq; break;
    case Tok::kNe: op = Op::kNe; break;
    case Tok::kLt: op = Op::kLt; break;
    case Tok::kGt: op = Op::kGt; break;
    case Tok::kLe: op = Op::kLe; break;
    case Tok::kGe: op = Op::kGe; break;
    case Tok::kIdent:
      if (IsKeyword(kKwIn)) op = Op::kIn;
      break;
    default: break;
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
    if (Is(Tok::kPlus)) op = Op::kAdd;
    else if (Is(Tok::kMinus)) op = Op::kSub;
    else if (IsKeyword(kKwOr)) op = Op::kOr;
    else if (IsKeyword(kKwXor)) op = Op::kXor;
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
    if (Is(Tok::kStar)) op = Op::kMul;
    else if (Is(Tok::kSlash)) op = Op::kDivide;
    else if (IsKeyword(kKwDiv)) op = Op::kIntDiv;
    else if (IsKeyword(kKwMod)) op = Op::kMod;
    else if (IsKeyword(kKwAnd)) op = Op::kAnd;
    else if (IsKeyword(kKwShl)) op = Op::kShl;
    else if (IsKeyword(kKwShr)) op = Op::kShr;
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
      literal->value = arena_.Copy(token_.string_value);
      Advance();
      return ParseDesignator(literal);
    }
    case Tok::kLParen: {
      Advance();
      Expr* inner = ParseExpression();
      Expect(Tok::kRParen);
      return ParseDesignator(inner);
    }
    case Tok::kLBracket: return ParseSetConstructor();
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
      return unary;
    }
    case Tok::kAt: Fail("The address operator is not supported");
    case Tok::kIdent: {
      if (IsKeyword(kKwNot)) {
        Advance();
        auto* unary = arena_.New<UnaryExpr>();
        unary->kind = ExprKind::kUnary;
        unary->op = Op::kNot;
        unary->pos = pos;
        unary->operand = ParseFactor();
        return unary;
      }
      if (IsKeyword(kKwNil)) {
        Advance();
        auto* nil = arena_.New<Expr>();
        nil->kind = ExprKind::kNil;
        nil->pos = pos;
        return nil;
      }
      if (interner_.IsKeyword(token_.ident) && token_.ident != string_word_) {
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
    case Tok::kEof: Fail("Unexpected end of file");
    default: Fail("Syntax error");
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
      base = field;
    } else if (Is(Tok::kLBracket)) {
      Advance();
      auto* index = arena_.New<IndexExpr>();
      index->kind = ExprKind::kIndex;
      index->pos = pos;
      index->base = base;
      index->indices = ParseArgs(Tok::kRBracket);
      if (index->indices.empty()) Fail("Syntax error");
      base = index;
    } else if (Is(Tok::kLParen)) {
      Advance();
      auto* call = arena_.New<CallExpr>();
      call->kind = ExprKind::kCall;
      call->pos = base->pos;
      call->callee = base;
      call->has_parens = true;
      call->args = ParseArgs(Tok::kRParen);
      base = call;
    } else if (Is(Tok::kCaret)) {
      Fail("Pointers are not supported");
    } else {
      return base;
    }
  }
}

Span<Expr*> Parser::ParseArgs(Tok closing) {
  std::vector<Expr*> args;
  if (!Is(closing)) {
    for (;;) {
      args.push_back(ParseExpression());
      if (!Is(Tok::kComma)) break;
      Advance();
    }
  }
  Expect(closing);
  return MakeSpan(arena_, args);
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
  return set;
}

}  // namespace qorsv::script::compiler_internal
