// Statements of the parser.
#include "scriptengine/parser.h"

namespace qorsv::script::compiler_internal {

// Statements separated by semicolons up to one of the terminators (not consumed).
Span<Stmt*> Parser::ParseStatementList(Keyword terminator1, Keyword terminator2,
                                       Keyword terminator3) {
  size_t mark = stmt_stack_.size();
  for (;;) {
    if (IsKeyword(terminator1) || IsKeyword(terminator2) || IsKeyword(terminator3)) break;
    Stmt* statement = ParseStatement();
    if (statement->kind != StmtKind::kEmpty) stmt_stack_.push_back(statement);
    if (Is(Tok::kSemicolon)) {
      Advance();
      continue;
    }
    if (IsKeyword(terminator1) || IsKeyword(terminator2) || IsKeyword(terminator3)) break;
    if (Is(Tok::kEof)) Fail("Unexpected end of file");
    // A keyword that closes some other construct: the list's own closing word is missing.
    if (token_.kind == Tok::kIdent && interner_.IsKeyword(token_.ident)) {
      Fail("'" + interner_.Upper(terminator1) + "' expected");
    }
    Fail("Semicolon (';') expected");
  }
  Span<Stmt*> statements = MakeSpan(arena_, stmt_stack_.data() + mark, stmt_stack_.size() - mark);
  stmt_stack_.resize(mark);
  return statements;
}

Stmt* Parser::ParseStatement() {
  NestingGuard guard(*this);
  if (token_.kind == Tok::kIdent) {
    switch (static_cast<Keyword>(token_.ident)) {
      case kKwBegin:
        return ParseCompound();
      case kKwIf:
        return ParseIf();
      case kKwCase:
        return ParseCase();
      case kKwFor:
        return ParseFor();
      case kKwWhile:
        return ParseWhile();
      case kKwRepeat:
        return ParseRepeat();
      case kKwWith:
        return ParseWith();
      case kKwTry:
        return ParseTry();
      case kKwRaise:
        return ParseRaise();
      case kKwGoto:
      case kKwLabel:
        Fail("Labels are not supported");
      default:
        break;
    }
    if (token_.ident == kWordExit) return ParseExit();
    if (token_.ident == kWordBreak || token_.ident == kWordContinue) {
      auto* jump = arena_.New<Stmt>();
      jump->kind = token_.ident == kWordBreak ? StmtKind::kBreak : StmtKind::kContinue;
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
  if (!Is(Tok::kSemicolon) && !IsKeyword(kKwEnd) && !IsKeyword(kKwUntil) && !IsKeyword(kKwExcept) &&
      !IsKeyword(kKwFinally) && !IsKeyword(kKwElse)) {
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
    if (IsKeyword(kKwElse) || IsWord(kWordOtherwise)) {
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
    } else if (!IsKeyword(kKwEnd) && !IsKeyword(kKwElse) && !IsWord(kWordOtherwise)) {
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
    if (IsWord(kWordOn)) Fail("'on' exception handlers are not supported");
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
  if (!Is(Tok::kSemicolon) && !IsKeyword(kKwEnd) && !IsKeyword(kKwElse) && !IsKeyword(kKwUntil) &&
      !IsKeyword(kKwExcept) && !IsKeyword(kKwFinally)) {
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

}  // namespace qorsv::script::compiler_internal
