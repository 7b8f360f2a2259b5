// A NativeCall for tests of native functions: arguments are given as plain values, the result and
// any var-parameter assignments are recorded for the test to inspect.
//
// One FakeNativeCall per call; not shared between threads.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "scriptengine/native.h"

namespace qorsv::testing {

class FakeNativeCall : public script::NativeCall {
 public:
  using Value = std::variant<int64_t, double, std::string>;

  explicit FakeNativeCall(std::vector<Value> args = {}, void* host_context = nullptr)
      : args_(std::move(args)), host_context_(host_context) {}

  int ArgCount() const override { return static_cast<int>(args_.size()); }

  int64_t Int(int index) const override {
    const Value& v = Arg(index);
    if (const auto* i = std::get_if<int64_t>(&v)) return *i;
    if (const auto* d = std::get_if<double>(&v)) return static_cast<int64_t>(*d);
    throw std::logic_error("argument " + std::to_string(index) + " is text, not an ordinal");
  }
  double Float(int index) const override {
    const Value& v = Arg(index);
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
    throw std::logic_error("argument " + std::to_string(index) + " is text, not a number");
  }
  // Like the engine, a text argument reaches the native as it stands; PChar cutting at the
  // first NUL is left to the native under test when it matters.
  std::string Str(int index) const override {
    const Value& v = Arg(index);
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    throw std::logic_error("argument " + std::to_string(index) + " is not text");
  }

  void SetVarInt(int index, int64_t value) override { vars_[index] = value; }
  void SetVarFloat(int index, double value) override { vars_[index] = value; }
  void SetVarStr(int index, const std::string& value) override { vars_[index] = value; }

  void ReturnInt(int64_t value) override { result_ = value; }
  void ReturnFloat(double value) override { result_ = value; }
  void ReturnStr(const std::string& value) override { result_ = value; }

  void* HostContext() const override { return host_context_; }

  // What the native returned, if anything.
  const std::optional<Value>& Result() const { return result_; }
  int64_t ResultInt() const { return std::get<int64_t>(result_.value()); }
  double ResultFloat() const { return std::get<double>(result_.value()); }
  const std::string& ResultStr() const { return std::get<std::string>(result_.value()); }
  bool ResultBool() const { return ResultInt() != 0; }

  // The value assigned to var parameter `index`, if any.
  std::optional<Value> Var(int index) const {
    auto it = vars_.find(index);
    if (it == vars_.end()) return std::nullopt;
    return it->second;
  }

 private:
  const Value& Arg(int index) const {
    if (index < 0 || index >= ArgCount()) {
      throw std::logic_error("no argument " + std::to_string(index));
    }
    return args_[index];
  }

  std::vector<Value> args_;
  void* host_context_;
  std::optional<Value> result_;
  std::map<int, Value> vars_;
};

}  // namespace qorsv::testing
