// The interface between the script engine and the host's native functions.
//
// A native is declared to the compiler by its declaration text (for example
// "function inttostr(i: Longint): string;") and registered with the runtime under its name in
// upper case as a NativeFunction. When the script calls it, the runtime hands the function a
// NativeCall: the arguments in declaration order, a place for the result, and the run's host
// context. A native is called on the thread that runs the script.
//
// Failures: a native throws. NativeDivideByZero becomes the runtime error ErDivideByZero,
// NativeMathError ErMathError, any other std::exception erException with the exception's
// message as parameter. The script can catch it with try/except; otherwise it ends the run.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace qorsv::script {

class NativeDivideByZero : public std::runtime_error {
 public:
  NativeDivideByZero() : std::runtime_error("Division by zero") {}
};

class NativeMathError : public std::runtime_error {
 public:
  explicit NativeMathError(const std::string& message) : std::runtime_error(message) {}
};

// One call of a native function. Argument indices start at 0, in declaration order.
class NativeCall {
 public:
  virtual ~NativeCall() = default;

  virtual int ArgCount() const = 0;

  // Ordinal arguments (all integer kinds, Char as its code, Boolean as 0/1, enumerations).
  virtual int64_t Int(int index) const = 0;
  // Floating-point arguments (Single, Double, Extended, Currency); ordinals are converted.
  virtual double Float(int index) const = 0;
  // Text arguments: string and Char as their bytes; PChar as the text up to its first NUL.
  virtual std::string Str(int index) const = 0;
  virtual bool Bool(int index) const { return Int(index) != 0; }

  // Assigns to a `var` or `out` parameter.
  virtual void SetVarInt(int index, int64_t value) = 0;
  virtual void SetVarFloat(int index, double value) = 0;
  virtual void SetVarStr(int index, const std::string& value) = 0;

  // The function's result, converted to the declared result type.
  virtual void ReturnInt(int64_t value) = 0;
  virtual void ReturnFloat(double value) = 0;
  virtual void ReturnStr(const std::string& value) = 0;
  virtual void ReturnBool(bool value) { ReturnInt(value ? 1 : 0); }

  // The host context that the runtime was given (TPSExec::SetHostContext), or nullptr.
  virtual void* HostContext() const = 0;
};

using NativeFunction = std::function<void(NativeCall&)>;

// Natives by upper-case name, built once and shared by many runtimes (TPSExec::UseNatives).
using NativeTable = std::unordered_map<std::string, NativeFunction>;

}  // namespace qorsv::script
