// A stand-in for the runtime's side of a native call, for the script host's unit tests.
//
// A test builds a FakeNativeCall with the arguments a script would pass (in declaration order),
// calls a native through its NativeFunction, and then reads the result, the values written to
// `var` parameters, or catches what the native threw. The host context defaults to nullptr; a
// test that needs a run context passes a pointer to one. One call object per call, one thread.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "scriptengine/native.h"

namespace qorsv::testing {

class FakeNativeCall : public script::NativeCall {
 public:
  // One argument as the script passes it: an ordinal, a floating-point number or a text.
  using Value = std::variant<int64_t, double, std::string>;

  FakeNativeCall() = default;
  explicit FakeNativeCall(std::vector<Value> args, void* host_context = nullptr)
      : args_(std::move(args)), host_context_(host_context) {}

  int ArgCount() const override { return static_cast<int>(args_.size()); }

  int64_t Int(int index) const override {
    const Value& v = Arg(index);
    if (const auto* i = std::get_if<int64_t>(&v)) return *i;
    if (const auto* d = std::get_if<double>(&v)) return static_cast<int64_t>(*d);
    throw std::logic_error("argument " + std::to_string(index) + " is a text, not an ordinal");
  }

  double Float(int index) const override {
    const Value& v = Arg(index);
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
    throw std::logic_error("argument " + std::to_string(index) + " is a text, not a number");
  }

  std::string Str(int index) const override {
    const Value& v = Arg(index);
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    throw std::logic_error("argument " + std::to_string(index) + " is not a text");
  }

  void SetVarInt(int index, int64_t value) override { vars_[index] = value; }
  void SetVarFloat(int index, double value) override { vars_[index] = value; }
  void SetVarStr(int index, const std::string& value) override { vars_[index] = value; }

  void ReturnInt(int64_t value) override { result_ = value; }
  void ReturnFloat(double value) override { result_ = value; }
  void ReturnStr(const std::string& value) override { result_ = value; }

  void* HostContext() const override { return host_context_; }

  // What the native returned; std::monostate while it returned nothing.
  bool HasResult() const { return !std::holds_alternative<std::monostate>(result_); }
  int64_t ResultInt() const { return std::get<int64_t>(result_); }
  double ResultFloat() const { return std::get<double>(result_); }
  const std::string& ResultStr() const { return std::get<std::string>(result_); }

  // What the native wrote to the `var` parameter at index.
  const Value& VarValue(int index) const { return vars_.at(index); }

 private:
  const Value& Arg(int index) const {
    if (index < 0 || index >= ArgCount()) {
      throw std::logic_error("native read argument " + std::to_string(index) + " of " +
                             std::to_string(ArgCount()));
    }
    return args_[index];
  }

  std::vector<Value> args_;
  void* host_context_ = nullptr;
  std::variant<std::monostate, int64_t, double, std::string> result_;
  std::map<int, Value> vars_;
};

// Runs a native with the given arguments and returns the finished call for inspection.
inline FakeNativeCall CallNative(const script::NativeFunction& native,
                                 std::vector<FakeNativeCall::Value> args = {},
                                 void* host_context = nullptr) {
  FakeNativeCall call(std::move(args), host_context);
  native(call);
  return call;
}

}  // namespace qorsv::testing
