// Finding the request's values in a preprocessed page-block text, so that one compiled program
// serves every request whose text differs only in those values.
//
// The prelude puts the request's values (slot, addresses, paths, counters, form fields, header
// lines, cookies) into literals. Those literals are compiled as late literals: the program reads
// them from hidden variables that each run sets. Two requests share a program when their
// preprocessed texts are equal once every value literal is replaced by a mark of its type.
//
// Pure functions; callable from any thread.
#pragma once

#include <string>
#include <vector>

#include "scriptengine/exec.h"
#include "scripthost/prelude.h"

namespace qorsv {

struct LateBinding {
  bool usable = false;
  std::vector<size_t> offsets;           // of the value literals in the preprocessed text
  std::vector<script::CallValue> values;  // their values, in the same order
  // The preprocessed text with each value literal replaced by a mark of its type: the same key
  // means the same program.
  std::string key;
};

// Not usable when a value has no single literal (a character below 32) or when preprocessing
// changed the prelude (a directive inside it).
LateBinding BindPreludeLiterals(const std::string& combined, const PreludeLayout& layout,
                                const std::string& preprocessed);

}  // namespace qorsv
