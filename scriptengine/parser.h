// The parser of the script dialect: tokens in, syntax trees out, one top-level item at a time.
//
// The compiler driver asks for the items of the program in order (declaration sections,
// routines with their bodies, the main block) and hands each to the checker and the code
// generator before asking for the next, so the arena holds one item's tree at a time. Syntax
// errors are thrown as CompileError with the position of the offending token.
//
// Threading: one compilation, one thread.
#pragma once

#include <string_view>
#include <vector>

#include "scriptengine/ast.h"
#include "scriptengine/lexer.h"

namespace qorsv::script::compiler_internal {

struct TopLevelItem {
  enum class Kind { kDecls, kMainBlock, kEnd };
  Kind kind = Kind::kEnd;
  std::vector<Decl*> decls;  // kDecls: one section (or one routine)
  Span<Stmt*> main_body;     // kMainBlock
  SourcePos pos;
  SourcePos end_pos;  // kMainBlock: the position of its `end`
};

class Parser {
 public:
  Parser(std::string_view text, Interner& interner, Arena& arena);

  // Reads an optional `program Name;` at the very start. A `unit` header is an error.
  void ParseProgramHeader();
  // The next top-level item. `main_block_optional`: the text may end after its declarations.
  TopLevelItem NextItem(bool main_block_optional);

  // Parses a single routine heading such as "function f(a: Integer): string;" (a native's
  // declaration text) and requires the end of the text after it.
  RoutineDecl* ParseHeadingOnly();

 private:
  // Tokens.
  void Advance();
  bool Is(Tok kind) const { return token_.kind == kind; }
  bool IsKeyword(Keyword keyword) const {
    return token_.kind == Tok::kIdent && token_.ident == static_cast<Ident>(keyword);
  }
  bool IsWord(Ident word) const { return token_.kind == Tok::kIdent && token_.ident == word; }
  bool IsCallingConventionWord() const;
  void Expect(Tok kind);
  void ExpectKeyword(Keyword keyword);
  Ident ExpectIdent(std::string_view* spelling);
  [[noreturn]] void Fail(const std::string& text) const;
  SourcePos Here() const { return {token_.row, token_.col}; }

  // Declarations.
  void ParseConstSection(std::vector<Decl*>& out);
  void ParseTypeSection(std::vector<Decl*>& out);
  void ParseVarSection(std::vector<Decl*>& out);
  UsesDecl* ParseUses();
  RoutineDecl* ParseRoutine();
  RoutineDecl* ParseHeading();
  void ParseDirectives(RoutineDecl* routine);
  Span<ParamDecl> ParseParams();
  void ParseLocalDecls(std::vector<Decl*>& out);
  TypeExpr* ParseType();
  TypeExpr* ParseArrayType();
  TypeExpr* ParseRecordType();
  void ParseIdentList(std::vector<Ident>& idents, std::vector<std::string_view>& spellings,
                      std::vector<SourcePos>* positions);

  // Statements.
  Span<Stmt*> ParseStatementList(Keyword terminator1, Keyword terminator2 = kKwNone,
                                 Keyword terminator3 = kKwNone);
  Stmt* ParseStatement();
  Stmt* ParseCompound();
  Stmt* ParseIf();
  Stmt* ParseCase();
  Stmt* ParseFor();
  Stmt* ParseWhile();
  Stmt* ParseRepeat();
  Stmt* ParseWith();
  Stmt* ParseTry();
  Stmt* ParseRaise();
  Stmt* ParseExit();
  Stmt* ParseSimpleStatement();

  // Expressions.
  Expr* ParseExpression();
  Expr* ParseSimpleExpression();
  Expr* ParseTerm();
  Expr* ParseFactor();
  Expr* ParseDesignator(Expr* base);
  Expr* ParseSetConstructor();
  Span<Expr*> ParseArgs(Tok closing);
  Expr* MakeBinary(Op op, Expr* left, Expr* right, SourcePos pos);
  // Sets node's depth from its children and refuses trees deeper than kMaxExpressionDepth.
  void SetDepth(Expr* node, std::initializer_list<const Expr*> children);

  // Bounds the parser's own recursion (nested parentheses, statements, types, routines).
  class NestingGuard {
   public:
    explicit NestingGuard(Parser& parser);
    ~NestingGuard() { --parser_.nesting_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

   private:
    Parser& parser_;
  };

  Lexer lexer_;
  Interner& interner_;
  Arena& arena_;
  Token token_;
  // Shared stacks for statement lists and argument lists being parsed.
  std::vector<Stmt*> stmt_stack_;
  std::vector<Expr*> expr_stack_;
  std::vector<Ident> ident_stack_;
  std::vector<std::string_view> spelling_stack_;
  bool started_ = false;
  int nesting_ = 0;
};

}  // namespace qorsv::script::compiler_internal
