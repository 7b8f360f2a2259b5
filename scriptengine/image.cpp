#include "scriptengine/image.h"

#include <algorithm>
#include <cstring>

#include "scriptengine/opcodes.h"

namespace qorsv::script {
namespace {

constexpr char kMagic[8] = {'Q', 'O', 'R', 'S', 'C', 'R', 'P', 'T'};
constexpr uint32_t kVersion = 4;
constexpr int32_t kMaxCells = 1 << 26;

class Writer {
 public:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void I32(int32_t v) { Raw(&v, 4); }
  void I64(int64_t v) { Raw(&v, 8); }
  void F64(double v) { Raw(&v, 8); }
  void Str(const std::string& s) {
    I32(static_cast<int32_t>(s.size()));
    out_.append(s);
  }
  void Raw(const void* data, size_t size) { out_.append(static_cast<const char*>(data), size); }
  std::string& out() { return out_; }

 private:
  std::string out_;
};

// Reads with bounds checks; any overrun marks the reader failed and yields zeros.
class Reader {
 public:
  explicit Reader(const std::string& in) : in_(in) {}
  bool ok() const { return ok_; }
  bool AtEnd() const { return pos_ == in_.size(); }
  uint8_t U8() {
    uint8_t v = 0;
    Raw(&v, 1);
    return v;
  }
  int32_t I32() {
    int32_t v = 0;
    Raw(&v, 4);
    return v;
  }
  int64_t I64() {
    int64_t v = 0;
    Raw(&v, 8);
    return v;
  }
  double F64() {
    double v = 0;
    Raw(&v, 8);
    return v;
  }
  std::string Str() {
    int32_t size = I32();
    if (size < 0 || static_cast<size_t>(size) > in_.size() - pos_) {
      ok_ = false;
      return {};
    }
    std::string s = in_.substr(pos_, static_cast<size_t>(size));
    pos_ += static_cast<size_t>(size);
    return s;
  }
  // A count of items each at least `min_item_size` bytes long.
  size_t Count(size_t min_item_size) {
    int32_t n = I32();
    if (n < 0 || static_cast<size_t>(n) * min_item_size > in_.size() - pos_) {
      ok_ = false;
      return 0;
    }
    return static_cast<size_t>(n);
  }
  void Raw(void* data, size_t size) {
    if (!ok_ || size > in_.size() - pos_) {
      ok_ = false;
      return;
    }
    std::memcpy(data, in_.data() + pos_, size);
    pos_ += size;
  }

 private:
  const std::string& in_;
  size_t pos_ = 0;
  bool ok_ = true;
};

void WriteDesc(Writer& w, const ValueDesc& d) {
  w.U8(static_cast<uint8_t>(d.kind));
  w.U8(d.int_class);
  w.U8(d.is_single);
  w.U8(d.by_ref);
  w.I32(d.cells);
  w.I32(d.rtti);
  w.I32(d.offset);
}

ValueDesc ReadDesc(Reader& r) {
  ValueDesc d;
  d.kind = static_cast<ValueKind>(r.U8());
  d.int_class = r.U8();
  d.is_single = r.U8() != 0;
  d.by_ref = r.U8() != 0;
  d.cells = r.I32();
  d.rtti = r.I32();
  d.offset = r.I32();
  return d;
}

bool ValidDesc(const ValueDesc& d, size_t rtti_count) {
  return static_cast<uint8_t>(d.kind) <= static_cast<uint8_t>(ValueKind::kVoid) &&
         d.int_class <= kWrapS64 && d.cells >= 0 && d.cells <= kMaxCells && d.offset >= 0 &&
         d.offset <= kMaxCells && d.rtti >= -1 && d.rtti < static_cast<int32_t>(rtti_count);
}

// How many cells operand `index` of an instruction spans.
int64_t OperandExtent(int32_t op, int32_t index, const int32_t* args) {
  switch (op) {
    case kMovN:
      return args[2];
    case kZeroN:
      return args[1];
    case kLoadPN:
      return index == 0 ? args[3] : 1;
    case kStorePN:
      return index == 2 ? args[3] : 1;
    case kSetIn:
      return index == 2 ? 4 : 1;
    case kSetUnion:
    case kSetDiff:
    case kSetInter:
      return 4;
    case kSetEq:
    case kSetLe:
      return index == 0 ? 1 : 4;
    case kSetClear:
    case kSetIncl:
    case kSetExcl:
    case kSetRange:
      return index == 0 ? 4 : 1;
    default:
      return 1;
  }
}

// Checks every instruction's operands against the image's tables and each procedure's frame.
bool VerifyCode(const ProgramImage& image) {
  const std::vector<int32_t>& code = image.code;
  const int32_t size = static_cast<int32_t>(code.size());
  std::vector<const ProcInfo*> by_entry;
  for (const ProcInfo& proc : image.procs) by_entry.push_back(&proc);
  std::sort(by_entry.begin(), by_entry.end(),
            [](const ProcInfo* a, const ProcInfo* b) { return a->entry < b->entry; });
  for (size_t p = 0; p < by_entry.size(); ++p) {
    const ProcInfo& proc = *by_entry[p];
    int32_t begin = proc.entry;
    int32_t end = p + 1 < by_entry.size() ? by_entry[p + 1]->entry : size;
    if (begin < 0 || begin > end || end > size) return false;
    auto cell_ok = [&](int32_t ref, int64_t extent) {
      if (extent < 1) extent = 1;
      if (ref >= 0) return ref + extent <= proc.max_cells;
      int64_t global = ~static_cast<int64_t>(ref);
      return global + extent <= image.global_cells;
    };
    int32_t pc = begin;
    while (pc < end) {
      int32_t op = code[pc];
      if (op < 0 || op >= kOpcodeCount) return false;
      const char* kinds = kOpcodeOperands[op];
      int32_t count = static_cast<int32_t>(std::strlen(kinds));
      if (pc + 1 + count > end) return false;
      const int32_t* args = &code[pc + 1];
      if (op == kSaLoad || op == kSaLoadS || op == kSaAddr) {
        int64_t esize = op == kSaAddr ? args[5] : 1;
        if (args[4] < 0 || esize < 1 || !cell_ok(args[1], int64_t{args[4]} * esize)) return false;
      }
      if (op == kSaStore || op == kSaStoreS) {
        if (args[3] < 0 || !cell_ok(args[0], args[3])) return false;
      }
      for (int32_t i = 0; i < count; ++i) {
        int32_t v = args[i];
        switch (kinds[i]) {
          case 'R':
            if (!cell_ok(v, OperandExtent(op, i, args))) return false;
            break;
          case 'L':
            if (v < begin || v >= end) return false;
            break;
          case 'P':
            if (v < 0 || v >= static_cast<int32_t>(image.procs.size())) return false;
            break;
          case 'M':
            if (v < 0 || v >= static_cast<int32_t>(image.imports.size())) return false;
            break;
          case 'T':
            if (v < 0 || v >= static_cast<int32_t>(image.rtti.size())) return false;
            break;
          case 'N':
            if (v < 0 || v > kMaxCells) return false;
            break;
          case 'C':
            if (v < 0 || v > 16) return false;
            break;
          case 'U':
            if (v < 0 || v > 255) return false;
            break;
          default:
            break;
        }
      }
      pc += 1 + count;
      if (op == kSwitch || op == kEndFinally) {
        int32_t labels = op == kSwitch ? args[2] : args[1];
        if (labels < 0 || pc + labels > end) return false;
        for (int32_t i = 0; i < labels; ++i) {
          if (code[pc + i] < begin || code[pc + i] >= end) return false;
        }
        pc += labels;
      }
    }
  }
  return true;
}

bool VerifyTables(const ProgramImage& image) {
  const size_t rtti_count = image.rtti.size();
  if (image.global_cells < 0 || image.global_cells > kMaxCells * 4) return false;
  for (size_t i = 0; i < rtti_count; ++i) {
    const RttiEntry& entry = image.rtti[i];
    if (entry.cells < 0 || entry.cells > kMaxCells || entry.count < 0 || entry.element_cells < 0 ||
        entry.element_cells > kMaxCells) {
      return false;
    }
    // Descriptors only refer to earlier ones, so walking them always ends.
    if (entry.element >= static_cast<int32_t>(i)) return false;
    if ((entry.kind == RttiEntry::Kind::kStaticArray || entry.kind == RttiEntry::Kind::kDynArray) &&
        entry.element < 0) {
      return false;
    }
    for (const auto& [offset, rtti] : entry.fields) {
      if (offset < 0 || offset >= entry.cells || rtti < -1 || rtti >= static_cast<int32_t>(i)) {
        return false;
      }
    }
  }
  for (const ProcInfo& proc : image.procs) {
    if (proc.param_cells < 0 || proc.frame_cells < proc.param_cells ||
        proc.max_cells < proc.frame_cells || proc.max_cells > kMaxCells) {
      return false;
    }
    for (const ValueDesc& param : proc.params) {
      int32_t cells = param.by_ref ? 1 : std::max(param.cells, 1);
      if (!ValidDesc(param, rtti_count) || param.offset + cells > proc.param_cells) {
        return false;
      }
    }
    if (!ValidDesc(proc.result, rtti_count)) return false;
    if (proc.result.kind != ValueKind::kVoid &&
        proc.result.offset + proc.result.cells > proc.frame_cells) {
      return false;
    }
    for (const FrameCleanup& cleanup : proc.cleanup) {
      if (cleanup.rtti < -1 || cleanup.rtti >= static_cast<int32_t>(rtti_count)) return false;
      int32_t cells = cleanup.rtti < 0 ? 1 : image.rtti[cleanup.rtti].cells;
      if (cleanup.offset < 0 || cleanup.offset + cells > proc.frame_cells) return false;
    }
  }
  for (const ImportInfo& import : image.imports) {
    for (const ValueDesc& param : import.params) {
      if (!ValidDesc(param, rtti_count)) return false;
    }
    if (!ValidDesc(import.result, rtti_count)) return false;
  }
  for (const GlobalInfo& global : image.globals) {
    if (!ValidDesc(global.value, rtti_count) ||
        global.value.offset + std::max(global.value.cells, 1) > image.global_cells) {
      return false;
    }
  }
  for (const GlobalInit& init : image.inits) {
    if (init.cell < 0 || init.cell >= image.global_cells) return false;
    if (init.kind == GlobalInit::Kind::kString &&
        (init.value < 0 || init.length < 0 ||
         static_cast<uint64_t>(init.value) + static_cast<uint64_t>(init.length) >
             image.string_pool.size())) {
      return false;
    }
  }
  return image.main_proc >= 0 && image.main_proc < static_cast<int32_t>(image.procs.size());
}

}  // namespace

std::string SerializeImage(const ProgramImage& image) {
  Writer w;
  w.Raw(kMagic, sizeof(kMagic));
  w.I32(static_cast<int32_t>(kVersion));
  w.I32(image.global_cells);
  w.I32(image.main_proc);
  w.I32(static_cast<int32_t>(image.rtti.size()));
  for (const RttiEntry& e : image.rtti) {
    w.U8(static_cast<uint8_t>(e.kind));
    w.U8(e.managed);
    w.I32(e.cells);
    w.I32(e.count);
    w.I32(e.element);
    w.I32(e.element_cells);
    w.I32(static_cast<int32_t>(e.fields.size()));
    for (const auto& [offset, rtti] : e.fields) {
      w.I32(offset);
      w.I32(rtti);
    }
  }
  w.I32(static_cast<int32_t>(image.procs.size()));
  for (const ProcInfo& p : image.procs) {
    w.Str(p.name);
    w.U8(p.callable);
    w.I32(p.entry);
    w.I32(p.param_cells);
    w.I32(p.frame_cells);
    w.I32(p.max_cells);
    w.I32(static_cast<int32_t>(p.params.size()));
    for (const ValueDesc& d : p.params) WriteDesc(w, d);
    WriteDesc(w, p.result);
    w.I32(static_cast<int32_t>(p.cleanup.size()));
    for (const FrameCleanup& c : p.cleanup) {
      w.I32(c.offset);
      w.I32(c.rtti);
    }
  }
  w.I32(static_cast<int32_t>(image.imports.size()));
  for (const ImportInfo& m : image.imports) {
    w.Str(m.name);
    w.U8(m.external);
    w.Str(m.external_text);
    w.I32(static_cast<int32_t>(m.params.size()));
    for (const ValueDesc& d : m.params) WriteDesc(w, d);
    WriteDesc(w, m.result);
  }
  w.I32(static_cast<int32_t>(image.globals.size()));
  for (const GlobalInfo& g : image.globals) {
    w.Str(g.name);
    WriteDesc(w, g.value);
    w.U8(g.host_object);
  }
  w.I32(static_cast<int32_t>(image.inits.size()));
  for (const GlobalInit& i : image.inits) {
    w.U8(static_cast<uint8_t>(i.kind));
    w.I32(i.cell);
    w.I64(i.value);
    w.I32(i.length);
  }
  w.Str(image.string_pool);
  w.I32(static_cast<int32_t>(image.code.size()));
  w.Raw(image.code.data(), image.code.size() * sizeof(int32_t));
  return std::move(w.out());
}

ImageLoadResult DeserializeImage(const std::string& bytes) {
  ImageLoadResult result;
  if (bytes.size() < sizeof(kMagic) + 4 || std::memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0) {
    result.error = erInvalidHeader;
    return result;
  }
  Reader r(bytes);
  char magic[sizeof(kMagic)];
  r.Raw(magic, sizeof(magic));
  if (static_cast<uint32_t>(r.I32()) != kVersion) {
    result.error = erVersionError;
    return result;
  }
  ProgramImage image;
  image.global_cells = r.I32();
  image.main_proc = r.I32();
  image.rtti.resize(r.Count(22));
  for (RttiEntry& e : image.rtti) {
    e.kind = static_cast<RttiEntry::Kind>(r.U8());
    if (e.kind > RttiEntry::Kind::kDynArray) e.kind = RttiEntry::Kind::kPlain;
    e.managed = r.U8() != 0;
    e.cells = r.I32();
    e.count = r.I32();
    e.element = r.I32();
    e.element_cells = r.I32();
    e.fields.resize(r.Count(8));
    for (auto& [offset, rtti] : e.fields) {
      offset = r.I32();
      rtti = r.I32();
    }
  }
  image.procs.resize(r.Count(20));
  for (ProcInfo& p : image.procs) {
    p.name = r.Str();
    p.callable = r.U8() != 0;
    p.entry = r.I32();
    p.param_cells = r.I32();
    p.frame_cells = r.I32();
    p.max_cells = r.I32();
    p.params.resize(r.Count(16));
    for (ValueDesc& d : p.params) d = ReadDesc(r);
    p.result = ReadDesc(r);
    p.cleanup.resize(r.Count(8));
    for (FrameCleanup& c : p.cleanup) {
      c.offset = r.I32();
      c.rtti = r.I32();
    }
  }
  image.imports.resize(r.Count(10));
  for (ImportInfo& m : image.imports) {
    m.name = r.Str();
    m.external = r.U8() != 0;
    m.external_text = r.Str();
    m.params.resize(r.Count(16));
    for (ValueDesc& d : m.params) d = ReadDesc(r);
    m.result = ReadDesc(r);
  }
  image.globals.resize(r.Count(21));
  for (GlobalInfo& g : image.globals) {
    g.name = r.Str();
    g.value = ReadDesc(r);
    g.host_object = r.U8() != 0;
  }
  image.inits.resize(r.Count(17));
  for (GlobalInit& i : image.inits) {
    uint8_t kind = r.U8();
    if (kind > static_cast<uint8_t>(GlobalInit::Kind::kString)) {
      result.error = erInvalidHeader;
      return result;
    }
    i.kind = static_cast<GlobalInit::Kind>(kind);
    i.cell = r.I32();
    i.value = r.I64();
    i.length = r.I32();
  }
  image.string_pool = r.Str();
  image.code.resize(r.Count(4));
  r.Raw(image.code.data(), image.code.size() * sizeof(int32_t));
  if (!r.ok() || !r.AtEnd()) {
    result.error = erUnexpectedEof;
    return result;
  }
  if (!VerifyTables(image)) {
    result.error = erInvalidHeader;
    return result;
  }
  if (!VerifyCode(image)) {
    result.error = erInvalidOpcodeParameter;
    return result;
  }
  result.image = std::move(image);
  return result;
}

}  // namespace qorsv::script
