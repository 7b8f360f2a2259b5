// The host class library as one table: each class with its parent, its members' declaration
// texts and their implementations.
//
// The compiler reads the declarations (checker_classes.cpp declares a class the first time a
// script names it); TPSRuntimeClassImporter builds the runtime classes from the same table, so
// that what compiles is what runs. A member's declaration is Pascal:
//   "constructor Create(AOwner: TComponent);"
//   "function IndexOf(const S: string): Integer;"
//   "property Strings[Index: Integer]: string read write; default;"
// A method's implementation receives Self (checked: live and of the declaring class) and the
// declared arguments; a property has a getter and, when it is written "read write", a setter.
// The compiler calls a member through the import "CLASS.MEMBER" (a setter: "CLASS.MEMBER="),
// CLASS being the declaring class, or for a constructor the class to create; "CLASS.#IS" and
// "CLASS.#AS" are the `is` and `as` tests against CLASS.
//
// Threading: the table is built once and never changes.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scriptengine/heap.h"
#include "scriptengine/host_object.h"
#include "scriptengine/image.h"

namespace qorsv::script::vm_internal {

class Machine;
class MethodCall;

using MethodImpl = void (*)(MethodCall& call);
// Makes an object of the class it is given (a descendant of the class that declared it).
using ObjectFactory = std::unique_ptr<HostObject> (*)(const RuntimeClass& of, Heap& heap);

struct MemberDef {
  const char* declaration;
  MethodImpl impl = nullptr;    // a method or constructor; a property's getter
  MethodImpl setter = nullptr;  // a property written "read write"
  bool nil_self = false;        // may be called on nil (Free)
};

enum class Creation : uint8_t {
  kCreatable,
  kAbstract,  // a base class whose operations its descendants give
  kWindowed,  // graphics, controls and forms: no windows in a server script
};

struct ClassDef {
  const char* name;
  const char* parent;  // nullptr for TObject
  Creation creation = Creation::kCreatable;
  ObjectFactory factory = nullptr;  // nullptr: the parent's
  std::vector<MemberDef> members;
};

// The classes in declaration order (a parent before its descendants): the component classes,
// the collection and stream classes, the graphics, control, form and standard control classes.
const std::vector<ClassDef>& ClassLibrary();
// The class of that upper-case name, or nullptr.
const ClassDef* FindClassDef(std::string_view upper_name);
// Types and constants the classes' members use ("type TDuplicates = (dupIgnore, dupAccept,
// dupError);", "const soFromBeginning = 0;"): Pascal declaration texts.
const std::vector<const char*>& ClassLibraryTypes();
const std::vector<const char*>& ClassLibraryConstants();

// The families, in ClassLibrary() order.
void AddComponentClasses(std::vector<ClassDef>& classes);
void AddCollectionClasses(std::vector<ClassDef>& classes);
void AddStreamClasses(std::vector<ClassDef>& classes);
void AddWindowClasses(std::vector<ClassDef>& classes);

struct MemberBinding {
  MethodImpl impl = nullptr;
  bool has_self = true;  // false for constructors
  bool nil_self = false;
  bool type_test = false;  // `is` and `as`: Self may be of any class
  std::string name;        // for messages: "TStrings.Add"
};

std::string ClassNameOf(const HostObject& object);

struct RuntimeClass {
  std::string name;  // as declared: "TStringList"
  const RuntimeClass* parent = nullptr;
  const ClassDef* def = nullptr;
  ObjectFactory factory = nullptr;
  // By upper-case member name; a setter as "NAME=".
  std::unordered_map<std::string, MemberBinding> members;

  bool InheritsFrom(const RuntimeClass& other) const {
    for (const RuntimeClass* c = this; c != nullptr; c = c->parent) {
      if (c == &other) return true;
    }
    return false;
  }
  // The member of this class or the nearest ancestor declaring it.
  const MemberBinding* FindMember(const std::string& upper) const;
};

// Memory a host object holds outside the heap's blocks (the slots of its lists, its stream
// bytes), charged to the run's memory cap as it grows and given back as it shrinks or the object
// goes.
class HeapCharge {
 public:
  explicit HeapCharge(Heap& heap) : heap_(heap) {}
  ~HeapCharge() { heap_.Uncharge(charged_); }
  HeapCharge(const HeapCharge&) = delete;
  HeapCharge& operator=(const HeapCharge&) = delete;
  // Throws OutOfMemoryError when the cap does not allow `bytes`.
  void Set(int64_t bytes) {
    if (bytes > charged_)
      heap_.ChargeExternal(bytes - charged_);
    else
      heap_.Uncharge(charged_ - bytes);
    charged_ = bytes;
  }
  Heap& heap() const { return heap_; }

 private:
  Heap& heap_;
  int64_t charged_ = 0;
};

// One call of a member: Self, the declared arguments (numbered from 1) and the result, in the
// call window. Errors are thrown: std::exception for the script's "Exception: ..." runtime error,
// OutOfMemoryError for "Out Of Memory".
class MethodCall {
 public:
  // `has_self`: the first cell of the window is Self (every member but constructors).
  MethodCall(Machine& machine, const ImportInfo& import, Cell* window, HostObject* self,
             const RuntimeClass& bound, bool has_self)
      : machine_(machine),
        import_(import),
        window_(window),
        self_(self),
        bound_(bound),
        first_(has_self ? 1 : 0) {}

  template <typename T>
  T& Self() const {
    return *static_cast<T*>(self_);
  }
  HostObject* self() const { return self_; }
  // The class of the import: a constructor's class to create, the class of `is` and `as`.
  const RuntimeClass& bound_class() const { return bound_; }
  Machine& machine() const { return machine_; }
  Heap& heap() const;
  ObjectTable& objects() const;

  int64_t Int(int n) const { return Arg(n).i; }
  bool Bool(int n) const { return Arg(n).i != 0; }
  double Float(int n) const { return Arg(n).f; }
  std::string_view Str(int n) const { return Heap::View(Arg(n).p); }
  // The string argument itself, shared: Retain it to keep it.
  void* StrRep(int n) const { return Arg(n).p; }
  // An object argument: nullptr for nil; a freed object is a runtime error.
  HostObject* Object(int n) const;
  // A `var` argument's cell.
  Cell& Var(int n) const { return *Arg(n).c; }

  void ReturnInt(int64_t value) const { Result().i = value; }
  void ReturnBool(bool value) const { Result().i = value ? 1 : 0; }
  void ReturnFloat(double value) const { Result().f = value; }
  void ReturnStr(std::string_view text) const;
  // Returns a string the caller holds a reference to, which passes to the result.
  void ReturnStrRep(void* owned) const { Result().p = owned; }
  // An object the run holds (or nullptr).
  void ReturnObject(const HostObject* object) const { Result().i = object ? object->handle() : 0; }
  void ReturnHandle(int64_t handle) const { Result().i = handle; }
  // A new object, which the run takes.
  void ReturnNew(std::unique_ptr<HostObject> object) const;

 private:
  Cell& Arg(int n) const {
    return window_[import_.params[static_cast<size_t>(n - 1 + first_)].offset];
  }
  Cell& Result() const { return window_[import_.result.offset]; }

  Machine& machine_;
  const ImportInfo& import_;
  Cell* window_;
  HostObject* self_;
  const RuntimeClass& bound_;
  int first_;
};

// An object of the library's classes that TPersistent.Assign can copy into.
class PersistentObject : public HostObject {
 public:
  using HostObject::HostObject;
  // Copies `source` into this object; false when this class cannot take that source.
  virtual bool AssignFrom(HostObject& source) {
    (void)source;
    return false;
  }
};

// A new object of `of` for a constructor: refused for abstract and window classes.
std::unique_ptr<HostObject> CreateObject(const RuntimeClass& of, Heap& heap);

// The argument `n` of `call` as an object of the C++ class T (nullptr for nil); an object of
// another class is refused: a hard cast may have given the script one.
template <typename T>
T* ObjectArg(const MethodCall& call, int n) {
  HostObject* object = call.Object(n);
  if (object == nullptr) return nullptr;
  T* typed = dynamic_cast<T*>(object);
  if (typed == nullptr) throw std::runtime_error("Invalid class typecast: " + ClassNameOf(*object));
  return typed;
}

// The binding of "#IS" and "#AS", the `is` and `as` tests against the import's class; nullptr
// for any other name.
const MemberBinding* TypeTestBinding(const std::string& upper_member);

std::string UpperName(std::string_view name);
// Whether `name` spells the upper-case `upper` in any case.
bool SameName(std::string_view name, std::string_view upper);

// Errors of members, with Delphi's texts.
[[noreturn]] void ListIndexError(int64_t index);

}  // namespace qorsv::script::vm_internal
