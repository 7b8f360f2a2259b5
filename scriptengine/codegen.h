// The code generator: checked syntax trees in, VM instructions and program image out.
//
// It receives each checked routine body from the checker (as its RoutineSink) and emits
// type-specialised register instructions: locals and temporaries are frame cells, globals and
// constants are global cells, calls pass their arguments in a window of cells above the caller's
// temporaries that becomes the start of the callee's frame. Finish assembles the ProgramImage.
//
// Threading: one compilation, one thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "scriptengine/checker.h"
#include "scriptengine/image.h"
#include "scriptengine/opcodes.h"

namespace qorsv::script::compiler_internal {

class Codegen : public RoutineSink {
 public:
  Codegen(Checker& checker, TypeTable& types);

  void EmitRoutine(Routine& routine, Span<Stmt*> body, SourcePos end_pos) override;
  void EmitMainBlock(Routine& main, Span<Stmt*> body, SourcePos end_pos) override;
  void InitGlobal(const Symbol& variable, const ConstValue& value) override;

  // Builds the image once the whole program has been compiled.
  ProgramImage Finish();

 private:
  // Frame cells of a window are numbered from kWindowBase while the routine is emitted and
  // moved above the temporaries when its size is known.
  static constexpr int32_t kWindowBase = 1 << 28;
  static constexpr int32_t kNone = INT32_MIN;

  // Where a value lives: a cell (frame or global), or a pointer cell plus an offset.
  struct Location {
    bool direct = true;
    int32_t cell = 0;    // direct: the value's first cell; indirect: the cell holding a pointer
    int32_t offset = 0;  // indirect: cells added to the pointer
  };

  struct Label {
    int32_t pos = -1;
    std::vector<int32_t> patches;
  };

  struct Escape {
    int32_t label;
    size_t handler_depth;
  };
  struct Handler {
    bool is_finally = false;
    int32_t state_cell = 0;
    int32_t finally_label = 0;
    std::vector<Escape> escapes;
  };
  struct Loop {
    int32_t break_label;
    int32_t continue_label;
    size_t handler_depth;
  };

  enum class TempKind { kPlain, kManaged, kSet };

  // Emission (codegen_emit.cpp).
  void Emit(int32_t word) { code_.push_back(word); }
  void Ins(Opcode op, std::initializer_list<int32_t> operands);
  int32_t NewLabel();
  void Bind(int32_t label);
  void EmitLabel(int32_t label);  // a label operand
  void Jump(Opcode op, std::initializer_list<int32_t> operands, int32_t label);
  int32_t Temp(TempKind kind);
  int32_t TempFor(const Type* type);
  int32_t CompositeTemp(const Type* type);
  void ReleaseStatementTemps(size_t mark);
  bool IsTemp(int32_t cell) const;
  void AddInit(int32_t cell, int64_t value);
  void AddStringInit(int32_t cell, std::string_view text);
  int32_t ConstInt(int64_t value);
  int32_t ConstFloat(double value);
  int32_t ConstString(std::string_view value);
  int32_t ConstSet(const uint64_t* bits);
  int32_t RttiFor(const Type* type);
  int32_t GlobalRef(int32_t offset) const { return ~offset; }
  static int32_t Offset(int32_t cell, int32_t by) { return cell >= 0 ? cell + by : cell - by; }
  void FixWindows(int32_t begin, int32_t frame_cells);
  void ThreadJumps(int32_t begin);
  ValueDesc DescFor(const Type* type) const;
  TempKind KindOf(const Type* type) const;
  static bool IsManaged(const Type* type);
  static bool IsSet(const Type* type) { return type->kind == TypeKind::kSet; }
  static bool IsComposite(const Type* type) {
    return type->kind == TypeKind::kRecord || type->kind == TypeKind::kStaticArray;
  }

  // Routines and statements (codegen.cpp).
  void BeginRoutine(Routine& routine);
  void EndRoutine(Routine& routine, ProcInfo& proc);
  void EmitStatements(Span<Stmt*> body);
  void EmitStatement(Stmt* stmt);
  void EmitAssign(AssignStmt* assign);
  void EmitIf(IfStmt* branch);
  void EmitCase(CaseStmt* statement);
  void EmitFor(ForStmt* loop);
  void EmitWhile(WhileStmt* loop);
  void EmitRepeat(RepeatStmt* loop);
  void EmitWith(WithStmt* with);
  void EmitTry(TryStmt* attempt);
  void EmitExit(ExitStmt* exit);
  void JumpOut(int32_t label, size_t handler_depth);

  // Expressions (codegen_expr.cpp).
  int32_t Eval(Expr* expr, int32_t target = kNone);
  void EvalInto(Expr* expr, int32_t target);
  void Move(const Type* type, int32_t dst, int32_t src);
  void CondJump(Expr* expr, bool when, int32_t label, bool back = false);
  int32_t EvalUnary(UnaryExpr* unary, int32_t target);
  int32_t EvalBinary(BinaryExpr* binary, int32_t target);
  int32_t EvalArith(BinaryExpr* binary, int32_t target);
  int32_t EvalComparison(BinaryExpr* binary, int32_t target);
  int32_t EvalConvert(ConvertExpr* convert, int32_t target);
  int32_t EvalSet(SetExpr* set, int32_t target);
  int32_t EvalArrayCons(ArrayConsExpr* array, int32_t target);
  int32_t EvalIndex(IndexExpr* index, int32_t target);
  void Wrap(int32_t cell, const Type* type);
  int32_t Dest(int32_t target, const Type* type) {
    return target != kNone ? target : TempFor(type);
  }

  // String appends and concatenations (codegen_append.cpp).
  bool TryAppendInPlace(Expr* target, Expr* value);
  int32_t EvalConcat(BinaryExpr* binary, int32_t target);
  // The pieces of a + b + c..., left to right.
  static std::vector<Expr*> ConcatParts(Expr* value);
  // A character converted to a string, which is appended as it is.
  static bool IsCharPiece(const Expr* part);
  // Whether evaluating `expr` may assign a variable.
  static bool MayAssign(const Expr* expr);
  // A piece's value in a cell of its own (a temporary holding a reference, or the value
  // itself), so that assignments made after it was evaluated cannot change it.
  int32_t OwnValue(Expr* part, int32_t value, bool is_char);

  // Variables and memory (codegen_memory.cpp).
  Location Locate(Expr* expr);
  Location LocateVar(const Symbol* symbol);
  int32_t PointerTo(const Location& location);
  int32_t Load(const Location& location, const Type* type, int32_t target);
  void Store(const Location& location, const Type* type, int32_t value, bool value_is_temp);
  void CopyComposite(const Location& dst, Expr* value);
  int32_t AddressOfComposite(Expr* value);

  // Calls (codegen_calls.cpp).
  int32_t EvalCall(CallExpr* call, int32_t target);
  int32_t EmitRoutineCall(CallExpr* call, int32_t target);
  int32_t EmitBuiltin(CallExpr* call, int32_t target);
  int32_t ImportFor(const Routine* routine);
  void PassArgument(Expr* arg, const ParamInfo& param, int32_t cell);
  int32_t TakeResult(const Type* type, int32_t cell, int32_t target);
  void ModifyOrdinal(Expr* variable, Expr* amount, int64_t sign);

  Checker& checker_;
  TypeTable& types_;
  std::vector<int32_t> code_;
  std::vector<ProcInfo> procs_;
  std::vector<ImportInfo> imports_;
  std::vector<RttiEntry> rtti_;
  std::vector<GlobalInit> inits_;
  std::unordered_map<const Routine*, int32_t> import_index_;
  std::unordered_map<int64_t, int32_t> int_consts_;
  std::unordered_map<uint64_t, int32_t> float_consts_;
  std::string string_pool_;
  std::map<std::vector<uint64_t>, int32_t> set_consts_;
  int32_t main_proc_ = -1;

  // The routine being emitted.
  Routine* routine_ = nullptr;
  int32_t next_cell_ = 0;
  std::vector<int32_t> free_plain_;
  std::vector<int32_t> free_managed_;
  std::vector<int32_t> free_sets_;
  std::vector<std::pair<int32_t, const Type*>> free_composites_;
  std::vector<uint8_t> temp_state_;  // per frame cell: 0 not a temp, 1 free, 2 in use
  std::vector<std::pair<int32_t, TempKind>> statement_temps_;
  std::vector<std::pair<int32_t, const Type*>> composite_in_use_;
  std::vector<FrameCleanup> cleanup_;
  int32_t window_top_ = 0;  // next free window cell (relative)
  int32_t window_max_ = 0;
  std::vector<Label> labels_;
  std::vector<Handler> handlers_;
  std::vector<Loop> loops_;
  int32_t exit_label_ = 0;
  bool pin_arrays_ = false;  // Locate holds references to the dynamic arrays it indexes
};

}  // namespace qorsv::script::compiler_internal
