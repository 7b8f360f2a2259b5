// Host classes in the checker: the class library declared on demand, members, properties,
// constructors, `is` and `as`.
//
// A class, type or constant of the library is declared in the system scope the first time a
// script names it, and a class's members the first time one of them is looked up, so scripts
// that use no classes pay nothing for the library. A member call becomes an ordinary native call
// whose first argument is the object; a property read calls its getter, an assignment to it its
// setter; a constructor is a native of the class it creates.
#include <optional>
#include <string_view>

#include "scriptengine/checker.h"
#include "scriptengine/class_library.h"
#include "scriptengine/parser.h"

namespace qorsv::script::compiler_internal {

using vm_internal::ClassDef;
using vm_internal::ClassLibrary;
using vm_internal::ClassLibraryConstants;
using vm_internal::ClassLibraryTypes;
using vm_internal::UpperName;

namespace {

struct LibraryName {
  enum class Kind { kClass, kType, kConstant };
  Kind kind;
  size_t index;
};

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Whether a declaration text from `from` on, up to `stop`, names `upper`.
bool NamesIn(std::string_view text, size_t from, char stop, std::string_view upper) {
  size_t i = from;
  while (i < text.size() && text[i] != stop) {
    if (!IsNameChar(text[i])) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < text.size() && IsNameChar(text[i])) ++i;
    if (vm_internal::SameName(text.substr(start, i - start), upper)) return true;
  }
  return false;
}

// The library's declaration of an upper-case name: a class, a type or one of its enumeration
// values, or a constant. A scan of a few dozen short texts, made only for names that nothing
// else declares, costs less than a table built at every start.
std::optional<LibraryName> FindLibraryName(std::string_view upper) {
  const std::vector<ClassDef>& classes = ClassLibrary();
  for (size_t i = 0; i < classes.size(); ++i) {
    if (vm_internal::SameName(classes[i].name, upper)) return LibraryName{LibraryName::Kind::kClass, i};
  }
  const std::vector<const char*>& types = ClassLibraryTypes();
  for (size_t i = 0; i < types.size(); ++i) {
    // "type Name = (value, value);" or "type Name = Host;"
    if (NamesIn(types[i], 5, '=', upper)) return LibraryName{LibraryName::Kind::kType, i};
    std::string_view text(types[i]);
    size_t values = text.find('(');
    if (values != std::string_view::npos && NamesIn(text, values, ')', upper)) {
      return LibraryName{LibraryName::Kind::kType, i};
    }
  }
  const std::vector<const char*>& constants = ClassLibraryConstants();
  for (size_t i = 0; i < constants.size(); ++i) {
    if (NamesIn(constants[i], 6, '=', upper)) return LibraryName{LibraryName::Kind::kConstant, i};
  }
  return std::nullopt;
}

size_t ClassIndex(const char* name) {
  return static_cast<size_t>(vm_internal::FindClassDef(UpperName(name)) - ClassLibrary().data());
}

// The parts of "property Name[Index: Integer]: string read write; default;".
struct PropertyText {
  std::string name;
  std::string params;
  std::string type;
  bool writable = false;
  bool is_default = false;
};

PropertyText ParsePropertyText(std::string_view text) {
  PropertyText property;
  size_t i = text.find(' ') + 1;
  size_t start = i;
  while (i < text.size() && IsNameChar(text[i])) ++i;
  property.name = std::string(text.substr(start, i - start));
  if (i < text.size() && text[i] == '[') {
    size_t close = text.find(']', i);
    property.params = std::string(text.substr(i + 1, close - i - 1));
    i = close + 1;
  }
  size_t colon = text.find(':', i);
  size_t type_start = text.find_first_not_of(' ', colon + 1);
  size_t type_end = text.find(' ', type_start);
  property.type = std::string(text.substr(type_start, type_end - type_start));
  std::string rest = UpperName(text.substr(type_end));
  property.writable = rest.find(" WRITE") != std::string::npos;
  property.is_default = rest.find("DEFAULT") != std::string::npos;
  return property;
}

bool StartsWithWord(std::string_view text, std::string_view upper_word) {
  if (text.size() <= upper_word.size() || text[upper_word.size()] != ' ') return false;
  return UpperName(text.substr(0, upper_word.size())) == upper_word;
}

}  // namespace

// ---- The library, declared on demand ----

Symbol* Checker::LookupClassLibrary(Ident ident) {
  if (!class_library_) return nullptr;
  std::optional<LibraryName> found = FindLibraryName(interner_.Upper(ident));
  if (!found) return nullptr;
  switch (found->kind) {
    case LibraryName::Kind::kClass:
      DeclareLibraryClass(found->index);
      break;
    case LibraryName::Kind::kType:
      DeclareLibraryText(ClassLibraryTypes()[found->index]);
      break;
    case LibraryName::Kind::kConstant:
      DeclareLibraryText(ClassLibraryConstants()[found->index]);
      break;
  }
  auto declared = system_scope_.names.find(ident);
  return declared == system_scope_.names.end() ? nullptr : declared->second;
}

ClassInfo* Checker::DeclareLibraryClass(size_t index) {
  const ClassDef& def = ClassLibrary()[index];
  Ident ident = interner_.InternAnyCase(def.name);
  auto known = host_classes_.find(ident);
  if (known != host_classes_.end() && known->second->class_info != nullptr) {
    return known->second->class_info;
  }
  ClassInfo* parent = def.parent != nullptr ? DeclareLibraryClass(ClassIndex(def.parent)) : nullptr;
  Type* type = types_.New(TypeKind::kClass, def.name);
  ClassInfo& info = class_infos_.emplace_back();
  info.def = &def;
  info.type = type;
  info.parent = parent;
  type->class_info = &info;
  host_classes_[ident] = type;
  Symbol* symbol = NewSymbol(SymbolKind::kType, ident, def.name);
  symbol->type = type;
  Bind(system_scope_, symbol, {}, true);
  return &info;
}

// Declares a type or constant text of the library in the system scope.
void Checker::DeclareLibraryText(const char* text) {
  SystemDeclarations system(*this);
  Parser parser(text, interner_, arena_);
  parser.ParseProgramHeader();
  TopLevelItem item = parser.NextItem(true);
  CheckDecls(item.decls);
}

void Checker::LoadMembers(ClassInfo& info) {
  if (info.members_loaded) return;
  info.members_loaded = true;
  SystemDeclarations system(*this);
  for (const auto& member : static_cast<const ClassDef*>(info.def)->members) {
    LoadMember(info, member.declaration);
  }
}

void Checker::LoadMember(ClassInfo& info, const char* declaration) {
  std::string_view text(declaration);
  ClassMember member;
  Ident ident;
  if (StartsWithWord(text, "PROPERTY")) {
    PropertyText property = ParsePropertyText(text);
    std::string upper = UpperName(property.name);
    std::string getter = "function " + property.name;
    if (!property.params.empty()) getter += "(" + property.params + ")";
    getter += ": " + property.type + ";";
    member.kind = ClassMember::Kind::kProperty;
    member.getter = MemberRoutine(info, getter, upper, true);
    member.type = member.getter->result;
    member.index_params = member.getter->params.size() - 1;
    if (property.writable) {
      std::string setter = "procedure " + property.name + "(" +
                           (property.params.empty() ? "" : property.params + "; ") +
                           "const Value: " + property.type + ");";
      member.setter = MemberRoutine(info, setter, upper + "=", true);
    }
    ident = member.getter->ident;
    auto [stored, inserted] = info.members.insert_or_assign(ident, member);
    if (property.is_default) info.default_property = &stored->second;
    return;
  }
  if (StartsWithWord(text, "CONSTRUCTOR")) {
    std::string heading = "procedure" + std::string(text.substr(11));
    member.kind = ClassMember::Kind::kConstructor;
    member.routine = MemberRoutine(info, heading, "", false);
  } else {
    member.kind = ClassMember::Kind::kMethod;
    member.routine = MemberRoutine(info, std::string(text), "", true);
  }
  ident = member.routine->ident;
  if (member.kind == ClassMember::Kind::kMethod) {
    member.routine->native_name += interner_.Upper(ident);
  }
  info.members.insert_or_assign(ident, member);
}

// A member's routine from its heading: a native named "CLASS." + `native_member` whose first
// parameter, when `with_self`, is the object.
Routine* Checker::MemberRoutine(ClassInfo& info, const std::string& heading,
                                const std::string& native_member, bool with_self) {
  Parser parser(heading, interner_, arena_);
  Routine* routine = BuildSignature(parser.ParseHeadingOnly(), RoutineKind::kNative);
  routine->defined = true;
  routine->native_name = UpperName(info.type->name) + "." + native_member;
  if (with_self) {
    ParamInfo self;
    self.ident = self_ident_;
    self.display = "Self";
    self.type = info.type;
    routine->params.insert(routine->params.begin(), std::move(self));
  }
  return routine;
}

const ClassMember* Checker::FindMember(const ClassInfo* info, Ident ident) {
  for (const ClassInfo* c = info; c != nullptr; c = c->parent) {
    LoadMembers(*const_cast<ClassInfo*>(c));
    auto found = c->members.find(ident);
    if (found != c->members.end()) return &found->second;
  }
  return nullptr;
}

bool Checker::InheritsFrom(const Type* type, const Type* ancestor) const {
  if (type == ancestor) return true;
  return type->kind == TypeKind::kClass && ancestor->kind == TypeKind::kClass &&
         type->class_info != nullptr && ancestor->class_info != nullptr &&
         type->class_info->InheritsFrom(ancestor->class_info);
}

// ---- Member access ----

CallExpr* Checker::NewCall(const Routine* routine, Expr* callee, std::vector<Expr*> args,
                           bool has_parens, SourcePos pos) {
  auto* call = arena_.New<CallExpr>();
  call->kind = ExprKind::kCall;
  call->pos = pos;
  call->callee = callee;
  call->args = MakeSpan(arena_, args);
  call->has_parens = has_parens;
  call->routine = routine;
  return call;
}

FieldExpr* Checker::FindWithSubject(NameExpr* name) {
  auto access = [this, name](const Scope& scope) {
    auto* field = arena_.New<FieldExpr>();
    field->kind = ExprKind::kField;
    field->pos = name->pos;
    field->base = scope.with_subject;
    field->ident = name->ident;
    field->spelling = name->spelling;
    return field;
  };
  for (Scope* scope = scope_; scope != nullptr; scope = scope->parent) {
    if (scope->with_record != nullptr) {
      const Field* field = scope->with_record->FindField(name->ident);
      if (field == nullptr) continue;
      FieldExpr* checked = access(*scope);
      checked->field = field;
      checked->type = field->type;
      return checked;
    }
    if (scope->with_class != nullptr) {
      if (FindMember(ClassOf(scope->with_class), name->ident) == nullptr) continue;
      return access(*scope);
    }
    if (scope->names.count(name->ident) != 0) return nullptr;
  }
  return nullptr;
}

Expr* Checker::CheckMember(Expr* object, FieldExpr* field, Span<Expr*> args, bool call_syntax) {
  ClassInfo* info = ClassOf(object->type);
  const ClassMember* member = info != nullptr ? FindMember(info, field->ident) : nullptr;
  if (member == nullptr) {
    Fail(field->pos, "Unknown identifier '" + Spell(field->spelling, field->ident) + "'");
  }
  switch (member->kind) {
    case ClassMember::Kind::kMethod: {
      std::vector<Expr*> all{object};
      all.insert(all.end(), args.begin(), args.end());
      return CheckRoutineCall(NewCall(nullptr, field, std::move(all), call_syntax, field->pos),
                              member->routine);
    }
    case ClassMember::Kind::kProperty:
      if (call_syntax || member->index_params > 0) {
        Fail(field->pos, "Invalid number of parameters");
      }
      return CheckRoutineCall(NewCall(nullptr, field, {object}, false, field->pos), member->getter);
    case ClassMember::Kind::kConstructor:
      break;
  }
  Fail(field->pos, "A constructor is called on its class, as in " + info->type->name + "." +
                       Spell(field->spelling, field->ident));
}

Expr* Checker::CheckConstructorCall(const Type* class_type, FieldExpr* field, Span<Expr*> args) {
  ClassInfo* info = ClassOf(class_type);
  const ClassMember* member = info != nullptr ? FindMember(info, field->ident) : nullptr;
  if (member == nullptr) {
    Fail(field->pos, "Unknown identifier '" + Spell(field->spelling, field->ident) + "'");
  }
  if (member->kind != ClassMember::Kind::kConstructor) {
    Fail(field->pos, "This form of method call only allowed for class methods");
  }
  Routine*& constructor = info->constructors[field->ident];
  if (constructor == nullptr) {
    Routine& made = routines_.emplace_back(*member->routine);
    made.result = info->type;
    made.native_name = UpperName(info->type->name) + "." + interner_.Upper(field->ident);
    constructor = &made;
  }
  std::vector<Expr*> all(args.begin(), args.end());
  return CheckRoutineCall(NewCall(nullptr, field, std::move(all), true, field->pos), constructor);
}

Expr* Checker::CheckIndexedProperty(IndexExpr* index) {
  FieldExpr* field = nullptr;
  if (index->base->kind == ExprKind::kField && index->base->type == nullptr) {
    field = static_cast<FieldExpr*>(index->base);
  } else if (index->base->kind == ExprKind::kName) {
    FieldExpr* subject = FindWithSubject(static_cast<NameExpr*>(index->base));
    if (subject != nullptr && subject->type == nullptr) field = subject;
  }
  if (field == nullptr) return nullptr;
  Expr* object = CheckExpr(field->base);
  field->base = object;
  if (object->type->kind != TypeKind::kClass || IsClassRef(object)) return nullptr;
  const ClassMember* member = FindMember(ClassOf(object->type), field->ident);
  if (member == nullptr || member->kind != ClassMember::Kind::kProperty ||
      member->index_params == 0) {
    return nullptr;
  }
  index->base = field;
  return DefaultPropertyCall(object, index->indices, index->pos, member);
}

Expr* Checker::DefaultPropertyCall(Expr* object, Span<Expr*> indices, SourcePos pos,
                                   const ClassMember* property) {
  if (property == nullptr) {
    for (const ClassInfo* c = ClassOf(object->type); c != nullptr && property == nullptr;
         c = c->parent) {
      LoadMembers(*const_cast<ClassInfo*>(c));
      property = c->default_property;
    }
    if (property == nullptr) Fail(pos, "Class does not have a default property");
  }
  size_t taken = property->index_params;
  if (indices.size < taken) Fail(pos, "Invalid number of parameters");
  std::vector<Expr*> args{object};
  args.insert(args.end(), indices.begin(), indices.begin() + taken);
  Expr* value =
      CheckRoutineCall(NewCall(nullptr, object, std::move(args), true, pos), property->getter);
  if (indices.size == taken) return value;
  // Indices beyond the property's own index its value (a character of a string property).
  auto* rest = arena_.New<IndexExpr>();
  rest->kind = ExprKind::kIndex;
  rest->pos = pos;
  rest->base = value;
  rest->indices = MakeSpan(arena_, indices.begin() + taken, indices.size - taken);
  return CheckIndex(rest);
}

Expr* Checker::CheckPropertyAssign(AssignStmt* assign) {
  Expr* target = assign->target;
  FieldExpr* field = nullptr;
  Span<Expr*> indices;
  Expr* object = nullptr;
  const ClassMember* member = nullptr;
  auto unchecked_field = [this](Expr* expr) -> FieldExpr* {
    if (expr->kind == ExprKind::kField && expr->type == nullptr)
      return static_cast<FieldExpr*>(expr);
    if (expr->kind != ExprKind::kName) return nullptr;
    FieldExpr* subject = FindWithSubject(static_cast<NameExpr*>(expr));
    return subject != nullptr && subject->type == nullptr ? subject : nullptr;
  };
  if (target->kind == ExprKind::kIndex) {
    auto* index = static_cast<IndexExpr*>(target);
    indices = index->indices;
    if ((field = unchecked_field(index->base)) != nullptr) {
      object = CheckExpr(field->base);
      field->base = object;
      index->base = field;
      if (object->type->kind == TypeKind::kClass && !IsClassRef(object)) {
        member = FindMember(ClassOf(object->type), field->ident);
        if (member != nullptr &&
            (member->kind != ClassMember::Kind::kProperty || member->index_params == 0)) {
          member = nullptr;
        }
      }
    }
    if (member == nullptr) {
      // A default property: obj[i] := value.
      object = CheckExpr(index->base);
      index->base = object;
      if (object->type->kind != TypeKind::kClass || IsClassRef(object)) return nullptr;
      for (const ClassInfo* c = ClassOf(object->type); c != nullptr && member == nullptr;
           c = c->parent) {
        LoadMembers(*const_cast<ClassInfo*>(c));
        member = c->default_property;
      }
      if (member == nullptr) Fail(target->pos, "Class does not have a default property");
    }
  } else {
    if ((field = unchecked_field(target)) == nullptr) return nullptr;
    object = CheckExpr(field->base);
    field->base = object;
    if (object->type->kind != TypeKind::kClass || IsClassRef(object)) return nullptr;
    member = FindMember(ClassOf(object->type), field->ident);
    if (member == nullptr) {
      Fail(field->pos, "Unknown identifier '" + Spell(field->spelling, field->ident) + "'");
    }
    if (member->kind != ClassMember::Kind::kProperty) Fail(target->pos, "Variable expected");
  }
  if (member->setter == nullptr) Fail(target->pos, "Cannot assign to a read-only property");
  if (indices.size != member->index_params) Fail(target->pos, "Invalid number of parameters");
  std::vector<Expr*> args{object};
  args.insert(args.end(), indices.begin(), indices.end());
  args.push_back(assign->value);
  return CheckRoutineCall(NewCall(nullptr, target, std::move(args), true, target->pos),
                          member->setter);
}

// ---- is and as ----

Routine* Checker::TypeTestRoutine(ClassInfo& info, bool is_test) {
  Routine*& test = is_test ? info.is_test : info.as_test;
  if (test != nullptr) return test;
  const ClassInfo* root = &info;
  while (root->parent != nullptr) root = root->parent;
  Routine& routine = routines_.emplace_back();
  routine.kind = RoutineKind::kNative;
  routine.display = is_test ? "is" : "as";
  routine.defined = true;
  routine.result = is_test ? types_.boolean_type : info.type;
  routine.native_name = UpperName(info.type->name) + (is_test ? ".#IS" : ".#AS");
  ParamInfo self;
  self.ident = self_ident_;
  self.display = "Self";
  self.type = root->type;
  routine.params.push_back(std::move(self));
  test = &routine;
  return test;
}

Expr* Checker::CheckTypeTest(BinaryExpr* binary) {
  Expr* left = CheckExpr(binary->left);
  Expr* right = CheckExpr(binary->right);
  if (!IsClassRef(right)) Fail(binary->right->pos, "Class type expected");
  const Type* target = static_cast<TypeRefExpr*>(right)->named;
  const Type* source = left->type;
  if (source->kind != TypeKind::kClass || ClassOf(source) == nullptr ||
      ClassOf(target) == nullptr ||
      (!InheritsFrom(target, source) && !InheritsFrom(source, target))) {
    TypeMismatch(binary->pos);
  }
  Routine* test = TypeTestRoutine(*ClassOf(target), binary->op == Op::kIs);
  return CheckRoutineCall(NewCall(nullptr, binary, {left}, true, binary->pos), test);
}

}  // namespace qorsv::script::compiler_internal
