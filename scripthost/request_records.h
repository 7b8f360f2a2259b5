// The request records: a request's form fields (Tparams), header lines (Theaders) and cookies
// (Tcook), together RequestData. The dispatcher fills them; the page processor and the script
// runner receive copies and turn them into the script's records params, headers and cookies.
//
// Tables are numbered from 1; entries 1 to count() are valid and any other index reads as the
// empty string. Each table has a fixed limit (65000, 255 and 255 entries): entries beyond it are
// ignored. Storage grows with the entries actually held, so an empty table costs almost nothing;
// records are plain values, owned by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qorsv {

// A table of name and value pairs numbered from 1, holding at most kLimit entries.
template <typename CountType, size_t kLimit>
class NumberedPairs {
 public:
  static constexpr size_t kMaxEntries = kLimit;

  CountType count() const { return static_cast<CountType>(entries_.size()); }
  bool Full() const { return entries_.size() >= kLimit; }

  // Appends the next entry; returns false (and stores nothing) when the table is full.
  bool Append(std::string name, std::string value) {
    if (Full()) return false;
    entries_.emplace_back(std::move(name), std::move(value));
    return true;
  }
  void Clear() { entries_.clear(); }

 protected:
  const std::string& NameAt(size_t i) const {
    return InRange(i) ? entries_[i - 1].first : Empty();
  }
  const std::string& ValueAt(size_t i) const {
    return InRange(i) ? entries_[i - 1].second : Empty();
  }

 private:
  bool InRange(size_t i) const { return i >= 1 && i <= entries_.size(); }
  static const std::string& Empty() {
    static const std::string kEmpty;
    return kEmpty;
  }

  std::vector<std::pair<std::string, std::string>> entries_;
};

// Form fields: paramname[1..count], paramvalue[1..count]; count is 16-bit.
struct Tparams : NumberedPairs<uint16_t, 65000> {
  const std::string& paramname(size_t i) const { return NameAt(i); }
  const std::string& paramvalue(size_t i) const { return ValueAt(i); }
};

// Header lines: headername[1..count], headervalue[1..count]; count is 8-bit, so at most 255.
struct Theaders : NumberedPairs<uint8_t, 255> {
  const std::string& headername(size_t i) const { return NameAt(i); }
  const std::string& headervalue(size_t i) const { return ValueAt(i); }
};

// Cookies of the request: name[1..count], value[1..count]; count is 8-bit, so at most 255.
struct Tcook : NumberedPairs<uint8_t, 255> {
  const std::string& name(size_t i) const { return NameAt(i); }
  const std::string& value(size_t i) const { return ValueAt(i); }
};

struct RequestData {
  Tparams params;
  Theaders headers;
  Tcook cookies;
};

}  // namespace qorsv
