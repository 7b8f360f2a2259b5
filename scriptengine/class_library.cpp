// The class library table and the runtime classes built from it.
#include "scriptengine/class_library.h"

#include <cctype>
#include <stdexcept>

#include "scriptengine/object_table.h"
#include "scriptengine/vm.h"

namespace qorsv::script {

using vm_internal::ClassDef;
using vm_internal::MemberBinding;
using vm_internal::MemberDef;
using vm_internal::MethodCall;
using vm_internal::RuntimeClass;

namespace vm_internal {

const std::vector<ClassDef>& ClassLibrary() {
  static const std::vector<ClassDef> classes = [] {
    std::vector<ClassDef> all;
    AddComponentClasses(all);
    AddCollectionClasses(all);
    AddStreamClasses(all);
    AddWindowClasses(all);
    return all;
  }();
  return classes;
}

const std::vector<const char*>& ClassLibraryTypes() {
  static const std::vector<const char*> types = {
      "type TDuplicates = (dupIgnore, dupAccept, dupError);",
      "type TAlignment = (taLeftJustify, taRightJustify, taCenter);",
      "type TAlign = (alNone, alTop, alBottom, alLeft, alRight, alClient);",
      "type TColor = Integer;",
      "type TModalResult = Integer;",
  };
  return types;
}

const std::vector<const char*>& ClassLibraryConstants() {
  static const std::vector<const char*> constants = {
      "const soFromBeginning = 0;",
      "const soFromCurrent = 1;",
      "const soFromEnd = 2;",
      "const fmCreate = $FFFF;",
      "const fmOpenRead = 0;",
      "const fmOpenWrite = 1;",
      "const fmOpenReadWrite = 2;",
      "const fmShareCompat = 0;",
      "const fmShareExclusive = $10;",
      "const fmShareDenyWrite = $20;",
      "const fmShareDenyRead = $30;",
      "const fmShareDenyNone = $40;",
      "const clBlack = $000000;",
      "const clWhite = $FFFFFF;",
      "const clRed = $0000FF;",
      "const clGreen = $008000;",
      "const clBlue = $FF0000;",
      "const mrNone = 0;",
      "const mrOk = 1;",
      "const mrCancel = 2;",
  };
  return constants;
}

// Whether `name` spells `upper` in any case.
bool SameName(std::string_view name, std::string_view upper) {
  if (name.size() != upper.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != static_cast<unsigned char>(upper[i])) {
      return false;
    }
  }
  return true;
}

const ClassDef* FindClassDef(std::string_view upper_name) {
  for (const ClassDef& def : ClassLibrary()) {
    if (SameName(def.name, upper_name)) return &def;
  }
  return nullptr;
}

const MemberBinding* RuntimeClass::FindMember(const std::string& upper) const {
  for (const RuntimeClass* c = this; c != nullptr; c = c->parent) {
    auto found = c->members.find(upper);
    if (found != c->members.end()) return &found->second;
  }
  return nullptr;
}

Heap& MethodCall::heap() const { return machine_.heap(); }
ObjectTable& MethodCall::objects() const { return machine_.objects(); }

HostObject* MethodCall::Object(int n) const { return machine_.ObjectArgument(Arg(n).i); }

void MethodCall::ReturnStr(std::string_view text) const {
  Result().p = text.empty() ? nullptr : machine_.heap().MakeString(text);
}

void MethodCall::ReturnNew(std::unique_ptr<HostObject> object) const {
  Result().i = machine_.objects().Add(std::move(object));
}

std::string ClassNameOf(const HostObject& object) { return object.runtime_class().name; }

std::unique_ptr<HostObject> CreateObject(const RuntimeClass& of, Heap& heap) {
  switch (of.def->creation) {
    case Creation::kAbstract:
      throw std::runtime_error("Cannot create an instance of the abstract class " + of.name);
    case Creation::kWindowed:
      throw std::runtime_error("There are no windows in a server script: " + of.name +
                               " cannot be created");
    case Creation::kCreatable:
      break;
  }
  if (of.factory != nullptr) return of.factory(of, heap);
  return std::make_unique<PersistentObject>(of);
}

void ListIndexError(int64_t index) {
  throw std::runtime_error("List index out of bounds (" + std::to_string(index) + ")");
}

std::string UpperName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

namespace {

void IsInstance(MethodCall& call) {
  call.ReturnBool(call.self() != nullptr &&
                  call.self()->runtime_class().InheritsFrom(call.bound_class()));
}

void AsInstance(MethodCall& call) {
  HostObject* self = call.self();
  if (self != nullptr && !self->runtime_class().InheritsFrom(call.bound_class())) {
    throw std::runtime_error("Invalid class typecast: " + self->runtime_class().name +
                             " is not a " + call.bound_class().name);
  }
  call.ReturnObject(self);
}

}  // namespace

const MemberBinding* TypeTestBinding(const std::string& upper_member) {
  static const MemberBinding is{IsInstance, true, true, true, "is"};
  static const MemberBinding as{AsInstance, true, true, true, "as"};
  if (upper_member == "#IS") return &is;
  if (upper_member == "#AS") return &as;
  return nullptr;
}

namespace {

// The name a member declaration declares, and whether it is a constructor or a property:
// "property Strings[...]..." gives "Strings".
struct DeclaredName {
  std::string spelling;
  std::string upper;
  bool constructor = false;
  bool property = false;
};

DeclaredName NameOf(const char* declaration) {
  std::string_view text(declaration);
  DeclaredName name;
  size_t blank = text.find(' ');
  std::string_view word = text.substr(0, blank);
  auto is = [&word](std::string_view keyword) {
    if (word.size() != keyword.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if ((word[i] & ~0x20) != keyword[i]) return false;
    }
    return true;
  };
  name.constructor = is("CONSTRUCTOR");
  name.property = is("PROPERTY");
  size_t start = blank + 1;
  size_t end = start;
  while (end < text.size() &&
         (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) {
    ++end;
  }
  name.spelling = std::string(text.substr(start, end - start));
  name.upper = UpperName(name.spelling);
  return name;
}

[[noreturn]] void NoWindows(MethodCall& call) {
  throw std::runtime_error("There are no windows in a server script: " + call.bound_class().name +
                           " cannot be used");
}

std::unique_ptr<RuntimeClass> BuildClass(const ClassDef& def, const RuntimeClass* parent) {
  auto built = std::make_unique<RuntimeClass>();
  built->name = def.name;
  built->parent = parent;
  built->def = &def;
  built->factory = def.factory != nullptr ? def.factory
                   : parent != nullptr    ? parent->factory
                                          : nullptr;
  for (const MemberDef& member : def.members) {
    DeclaredName name = NameOf(member.declaration);
    MemberBinding binding;
    binding.impl = member.impl != nullptr ? member.impl : NoWindows;
    binding.has_self = !name.constructor;
    binding.nil_self = member.nil_self;
    binding.name = def.name + std::string(".") + name.spelling;
    built->members[name.upper] = binding;
    if (name.property && member.setter != nullptr) {
      MemberBinding setter = binding;
      setter.impl = member.setter;
      built->members[name.upper + "="] = setter;
    } else if (name.property && member.impl == nullptr) {
      built->members[name.upper + "="] = binding;
    }
  }
  return built;
}

}  // namespace
}  // namespace vm_internal

TPSRuntimeClassImporter::TPSRuntimeClassImporter() = default;

TPSRuntimeClassImporter::~TPSRuntimeClassImporter() = default;

std::shared_ptr<const TPSRuntimeClassImporter> TPSRuntimeClassImporter::Standard() {
  static const std::shared_ptr<const TPSRuntimeClassImporter> standard =
      std::make_shared<const TPSRuntimeClassImporter>();
  return standard;
}

const RuntimeClass* TPSRuntimeClassImporter::FindClass(const std::string& upper_name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindLocked(upper_name);
}

const RuntimeClass* TPSRuntimeClassImporter::FindLocked(const std::string& upper_name) const {
  auto found = classes_.find(upper_name);
  if (found != classes_.end()) return found->second.get();
  const ClassDef* def = vm_internal::FindClassDef(upper_name);
  if (def == nullptr) return nullptr;
  const RuntimeClass* parent =
      def->parent != nullptr ? FindLocked(vm_internal::UpperName(def->parent)) : nullptr;
  auto& built = classes_[upper_name];
  built = vm_internal::BuildClass(*def, parent);
  return built.get();
}

}  // namespace qorsv::script
