// Objects of host classes that scripts hold: the class library's TStringList, TMemoryStream,
// TComponent... and the application object the host gives a run.
//
// A script variable of a class type holds a handle, never a pointer: the runtime keeps every
// object of a run in its object table, so that a call on nil or on an object the script has
// freed is a runtime error instead of a crash, and the objects a run leaves alive are freed when
// its runtime is. A HostObject knows its class (for `is`, `as`, ClassName and the check that a
// method is called on an object of its class) and its handle in the run that holds it.
//
// TPSRuntimeClassImporter holds the run-time bindings of the classes: the methods and property
// accessors of each class by name. Standard() is the class library, shared by every runtime
// (TPSExec::SetClassImporter); a class's bindings are built the first time a program uses it, so
// that a process that runs one small script does not pay for the whole library.
//
// Threading: an object belongs to one run's runtime. The importer may be used from any thread;
// a class once built never changes.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace qorsv::script {

namespace vm_internal {
struct RuntimeClass;
class ObjectTable;
}  // namespace vm_internal

class HostObject {
 public:
  explicit HostObject(const vm_internal::RuntimeClass& runtime_class) : class_(&runtime_class) {}
  virtual ~HostObject() = default;
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  const vm_internal::RuntimeClass& runtime_class() const { return *class_; }
  // The handle scripts hold; 0 until the object is in a run's object table.
  int64_t handle() const { return handle_; }

  // Called when a script frees the object, before it is deleted: the object lets go of the
  // other objects it refers to (a component frees those it owns and leaves its owner's list).
  // Not called when the run ends and every object goes at once.
  virtual void BeforeFree(vm_internal::ObjectTable& objects) { (void)objects; }

 private:
  friend class vm_internal::ObjectTable;
  const vm_internal::RuntimeClass* class_;
  int64_t handle_ = 0;
};

class TPSRuntimeClassImporter {
 public:
  TPSRuntimeClassImporter();
  ~TPSRuntimeClassImporter();
  TPSRuntimeClassImporter(const TPSRuntimeClassImporter&) = delete;
  TPSRuntimeClassImporter& operator=(const TPSRuntimeClassImporter&) = delete;

  // The whole class library: component, collection and stream classes; the graphics, control
  // and form classes, whose objects cannot be created in a server script.
  static std::shared_ptr<const TPSRuntimeClassImporter> Standard();

  // The class of that upper-case name, or nullptr.
  const vm_internal::RuntimeClass* FindClass(const std::string& upper_name) const;

 private:
  const vm_internal::RuntimeClass* FindLocked(const std::string& upper_name) const;

  mutable std::mutex mutex_;
  mutable std::unordered_map<std::string, std::unique_ptr<vm_internal::RuntimeClass>> classes_;
};

// The object a run's variable Application refers to: the server application, with its title
// and the path of the program file.
std::unique_ptr<HostObject> NewApplicationObject(const std::string& title,
                                                 const std::string& exe_name);

}  // namespace qorsv::script
