// The component classes of the library: TObject, TPersistent, TComponent and TApplication.
#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "scriptengine/class_library.h"
#include "scriptengine/object_table.h"

namespace qorsv::script {

using vm_internal::ClassDef;
using vm_internal::Creation;
using vm_internal::Heap;
using vm_internal::MethodCall;
using vm_internal::ObjectTable;
using vm_internal::PersistentObject;
using vm_internal::RuntimeClass;

namespace {

// ---- TObject ----

void ObjectCreate(MethodCall& call) {
  call.ReturnNew(vm_internal::CreateObject(call.bound_class(), call.heap()));
}

// Free does nothing on nil, as in Object Pascal.
void ObjectFree(MethodCall& call) {
  if (call.self() != nullptr) call.objects().Free(call.self()->handle());
}

void ObjectClassName(MethodCall& call) { call.ReturnStr(call.self()->runtime_class().name); }

void ObjectClassNameIs(MethodCall& call) {
  call.ReturnBool(vm_internal::UpperName(call.self()->runtime_class().name) ==
                  vm_internal::UpperName(call.Str(1)));
}

// ---- TPersistent ----

void PersistentAssign(MethodCall& call) {
  HostObject* source = call.Object(1);
  auto* target = dynamic_cast<PersistentObject*>(call.self());
  if (source != nullptr && target != nullptr && target->AssignFrom(*source)) return;
  std::string from = source != nullptr ? source->runtime_class().name : "nil";
  throw std::runtime_error("Cannot assign a " + from + " to a " +
                           call.self()->runtime_class().name);
}

// ---- TComponent ----

class ComponentObject : public PersistentObject {
 public:
  using PersistentObject::PersistentObject;

  // The components this one owns go with it; it leaves its owner's list.
  void BeforeFree(ObjectTable& objects) override {
    for (ComponentObject* component : components_) {
      if (component == nullptr) continue;
      component->owner_ = nullptr;
      objects.Free(component->handle());
    }
    components_.clear();
    if (owner_ != nullptr) owner_->Remove(this);
  }

  void SetOwner(ComponentObject* owner) {
    owner_ = owner;
    if (owner == nullptr) return;
    owner_index_ = owner->components_.size();
    owner->components_.push_back(this);
  }
  ComponentObject* owner() const { return owner_; }
  const std::vector<ComponentObject*>& Components() {
    Compact();
    return components_;
  }
  ComponentObject* Find(std::string_view name) const {
    std::string upper = vm_internal::UpperName(name);
    for (ComponentObject* component : components_) {
      if (component != nullptr && !component->name_.empty() &&
          vm_internal::UpperName(component->name_) == upper) {
        return component;
      }
    }
    return nullptr;
  }

  const std::string& name() const { return name_; }
  // Component names are identifiers, unique among the components of one owner.
  void SetName(std::string_view name) {
    bool valid = name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]));
    for (char c : name) valid = valid && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!valid)
      throw std::runtime_error("'" + std::string(name) + "' is not a valid component name");
    if (owner_ != nullptr && !name.empty()) {
      ComponentObject* same = owner_->Find(name);
      if (same != nullptr && same != this) {
        throw std::runtime_error("A component named " + std::string(name) + " already exists");
      }
    }
    name_ = std::string(name);
  }
  int64_t tag = 0;

 private:
  // A component that goes leaves a hole, filled when the holes are half the list: freeing the
  // components of a large owner one by one costs each a constant time.
  void Remove(ComponentObject* component) {
    components_[component->owner_index_] = nullptr;
    if (++holes_ * 2 > components_.size()) Compact();
  }
  void Compact() {
    if (holes_ == 0) return;
    size_t kept = 0;
    for (ComponentObject* component : components_) {
      if (component == nullptr) continue;
      component->owner_index_ = kept;
      components_[kept++] = component;
    }
    components_.resize(kept);
    holes_ = 0;
  }

  std::string name_;
  ComponentObject* owner_ = nullptr;
  size_t owner_index_ = 0;
  std::vector<ComponentObject*> components_;
  size_t holes_ = 0;
};

std::unique_ptr<HostObject> NewComponent(const RuntimeClass& of, Heap&) {
  return std::make_unique<ComponentObject>(of);
}

void ComponentCreate(MethodCall& call) {
  auto* owner = vm_internal::ObjectArg<ComponentObject>(call, 1);
  std::unique_ptr<HostObject> made = vm_internal::CreateObject(call.bound_class(), call.heap());
  auto* component = static_cast<ComponentObject*>(made.get());
  component->SetOwner(owner);
  call.ReturnNew(std::move(made));
}

void ComponentName(MethodCall& call) { call.ReturnStr(call.Self<ComponentObject>().name()); }
void ComponentSetName(MethodCall& call) { call.Self<ComponentObject>().SetName(call.Str(1)); }
void ComponentTag(MethodCall& call) { call.ReturnInt(call.Self<ComponentObject>().tag); }
void ComponentSetTag(MethodCall& call) { call.Self<ComponentObject>().tag = call.Int(1); }
void ComponentOwner(MethodCall& call) { call.ReturnObject(call.Self<ComponentObject>().owner()); }

void ComponentCount(MethodCall& call) {
  call.ReturnInt(static_cast<int64_t>(call.Self<ComponentObject>().Components().size()));
}

void ComponentItem(MethodCall& call) {
  const auto& components = call.Self<ComponentObject>().Components();
  int64_t index = call.Int(1);
  if (index < 0 || index >= static_cast<int64_t>(components.size())) {
    vm_internal::ListIndexError(index);
  }
  call.ReturnObject(components[static_cast<size_t>(index)]);
}

void ComponentFind(MethodCall& call) {
  call.ReturnObject(call.Self<ComponentObject>().Find(call.Str(1)));
}

// ---- TApplication ----

class ApplicationObject : public ComponentObject {
 public:
  ApplicationObject(const RuntimeClass& of, std::string title, std::string exe_name)
      : ComponentObject(of), title(std::move(title)), exe_name(std::move(exe_name)) {}
  std::string title;
  std::string exe_name;
};

void ApplicationTitle(MethodCall& call) { call.ReturnStr(call.Self<ApplicationObject>().title); }
void ApplicationSetTitle(MethodCall& call) {
  call.Self<ApplicationObject>().title = std::string(call.Str(1));
}
void ApplicationExeName(MethodCall& call) {
  call.ReturnStr(call.Self<ApplicationObject>().exe_name);
}
// A server script has no window messages to wait for.
void ApplicationProcessMessages(MethodCall&) {}

}  // namespace

namespace vm_internal {

void AddComponentClasses(std::vector<ClassDef>& classes) {
  classes.push_back({"TObject",
                     nullptr,
                     Creation::kCreatable,
                     nullptr,
                     {
                         {"constructor Create;", ObjectCreate},
                         {"procedure Free;", ObjectFree, nullptr, true},
                         {"procedure Destroy;", ObjectFree},
                         {"function ClassName: string;", ObjectClassName},
                         {"function ClassNameIs(const Name: string): Boolean;", ObjectClassNameIs},
                     }});
  classes.push_back({"TPersistent",
                     "TObject",
                     Creation::kCreatable,
                     nullptr,
                     {
                         {"procedure Assign(Source: TPersistent);", PersistentAssign},
                     }});
  classes.push_back(
      {"TComponent",
       "TPersistent",
       Creation::kCreatable,
       NewComponent,
       {
           {"constructor Create(AOwner: TComponent);", ComponentCreate},
           {"property Name: string read write;", ComponentName, ComponentSetName},
           {"property Tag: Longint read write;", ComponentTag, ComponentSetTag},
           {"property Owner: TComponent read;", ComponentOwner},
           {"property ComponentCount: Integer read;", ComponentCount},
           {"property Components[Index: Integer]: TComponent read;", ComponentItem},
           {"function FindComponent(const AName: string): TComponent;", ComponentFind},
       }});
  classes.push_back(
      {"TApplication",
       "TComponent",
       Creation::kWindowed,
       nullptr,
       {
           {"property Title: string read write;", ApplicationTitle, ApplicationSetTitle},
           {"property ExeName: string read;", ApplicationExeName},
           {"procedure ProcessMessages;", ApplicationProcessMessages},
       }});
}

}  // namespace vm_internal

std::unique_ptr<HostObject> NewApplicationObject(const std::string& title,
                                                 const std::string& exe_name) {
  const RuntimeClass* application = TPSRuntimeClassImporter::Standard()->FindClass("TAPPLICATION");
  return std::make_unique<ApplicationObject>(*application, title, exe_name);
}

}  // namespace qorsv::script
