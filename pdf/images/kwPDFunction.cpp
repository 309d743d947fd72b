#include "pdf/images/kwPDFunction.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "base/Limits.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/Tolerance.h"

namespace qm {

namespace {


bool IsFiniteNumber(double AValue) { return std::isfinite(AValue); }

// Pairs of an array of numbers; false when missing, odd or not all numbers.
bool ReadPairs(const TkwPDArray* AArray, std::array<std::array<double, 2>, kMaxFunctionArgs>& APairs, int& ACount,
               int AMax) {
  ACount = 0;
  if (!AArray) return false;
  const std::size_t n = AArray->GetLength();
  if (n == 0 || n % 2 != 0 || n / 2 > static_cast<std::size_t>(AMax)) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const TkwPDBaseObject* o = AArray->Get(i);
    if (!o || !o->IsNumber() || !IsFiniteNumber(o->GetNumber())) return false;
    APairs[i / 2][i % 2] = o->GetNumber();
  }
  ACount = static_cast<int>(n / 2);
  return true;
}

bool ReadNumbers(const TkwPDArray* AArray, std::vector<double>& AOut) {
  AOut.clear();
  if (!AArray) return false;
  for (std::size_t i = 0; i < AArray->GetLength(); ++i) {
    const TkwPDBaseObject* o = AArray->Get(i);
    if (!o || !o->IsNumber() || !IsFiniteNumber(o->GetNumber())) return false;
    AOut.push_back(o->GetNumber());
  }
  return true;
}

const TkwPDDictionary* DictOf(const TkwPDBaseObject& AObject) {
  if (AObject.IsStream()) return static_cast<const TkwPDStream&>(AObject).GetDict();
  if (AObject.IsDict()) return static_cast<const TkwPDDictionary*>(&AObject);
  return nullptr;
}

std::string StreamBytes(TkwPDBaseObject& AObject, std::int64_t ALimit) {
  if (!AObject.IsStream()) return {};
  try {
    return static_cast<TkwPDStream&>(AObject).ReadAll(ALimit);
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    return {};
  }
}

}  // namespace

// --- TkwPDFunction ---------------------------------------------------------------------------

bool TkwPDFunction::Init(const TkwPDDictionary& ADict) {
  if (!ReadPairs(ADict.LookUpArray("Domain"), FDomain, FM, kMaxFunctionArgs)) return false;
  for (int i = 0; i < FM; ++i) {
    if (FDomain[static_cast<std::size_t>(i)][0] > FDomain[static_cast<std::size_t>(i)][1]) return false;
  }
  int n = 0;
  FHasRange = ReadPairs(ADict.LookUpArray("Range"), FRange, n, kMaxFunctionArgs);
  FN = FHasRange ? n : 0;
  return true;
}

double TkwPDFunction::ClipToDomain(int AIndex, double AValue) const {
  const auto& d = FDomain[static_cast<std::size_t>(AIndex)];
  if (!(AValue == AValue)) return d[0];
  return std::clamp(AValue, d[0], std::max(d[0], d[1]));
}

double TkwPDFunction::ClipToRange(int AIndex, double AValue) const {
  if (!FHasRange || AIndex >= FN) return AValue;
  const auto& r = FRange[static_cast<std::size_t>(AIndex)];
  if (!(AValue == AValue)) return r[0];
  return std::clamp(AValue, std::min(r[0], r[1]), std::max(r[0], r[1]));
}

std::unique_ptr<TkwPDFunction> MakeFunction(TkwPDBaseObject* AObject, int ADepth) {
  if (!AObject || ADepth > kMaxFunctionDepth) return nullptr;
  if (AObject->IsName("Identity")) return std::make_unique<TkwPDIdentityFunction>();
  const TkwPDDictionary* dict = DictOf(*AObject);
  if (!dict) return nullptr;
  std::unique_ptr<TkwPDFunction> f;
  switch (dict->LookUpInt("FunctionType", -1)) {
    case 0:
      if (AObject->IsStream()) f = std::make_unique<TkwPDSampledFunction>(*AObject);
      break;
    case 2: f = std::make_unique<TkwPDExponentialFunction>(*dict); break;
    case 3: f = std::make_unique<TkwPDStitchingFunction>(*dict, ADepth); break;
    case 4:
      if (AObject->IsStream()) f = std::make_unique<TkwPDPostScriptFunction>(*AObject);
      break;
    default: break;
  }
  if (!f || !f->IsOk()) return nullptr;
  return f;
}

// --- Identity --------------------------------------------------------------------------------

TkwPDIdentityFunction::TkwPDIdentityFunction() {
  FM = FN = kMaxFunctionArgs;
  for (auto& d : FDomain) d = {0, 1};
}

std::unique_ptr<TkwPDFunction> TkwPDIdentityFunction::Copy() const { return std::make_unique<TkwPDIdentityFunction>(*this); }

void TkwPDIdentityFunction::Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const { AOutput = AInput; }

// --- Sampled ---------------------------------------------------------------------------------

TkwPDSampledFunction::TkwPDSampledFunction(TkwPDBaseObject& AObject) {
  const TkwPDDictionary* dict = DictOf(AObject);
  if (!dict || !Init(*dict) || !FHasRange || FM > 16 || FN < 1) return;
  const TkwPDArray* size = dict->LookUpArray("Size");
  if (!size || size->GetLength() != static_cast<std::size_t>(FM)) return;
  std::int64_t points = 1;
  for (int i = 0; i < FM; ++i) {
    const TkwPDBaseObject* o = size->Get(static_cast<std::size_t>(i));
    if (!o || !o->IsInteger()) return;
    const int s = static_cast<const TkwPDInteger*>(o)->GetValue();
    if (s < 1 || s > kMaxSampleValues) return;
    FSampleSize[static_cast<std::size_t>(i)] = s;
    points *= s;
    if (points * FN > kMaxSampleValues) return;
  }
  const int bps = dict->LookUpInt("BitsPerSample", 0);
  if (bps != 1 && bps != 2 && bps != 4 && bps != 8 && bps != 12 && bps != 16 && bps != 24 && bps != 32) return;

  std::vector<double> nums;
  for (int i = 0; i < FM; ++i) FEncode[static_cast<std::size_t>(i)] = {0, static_cast<double>(FSampleSize[static_cast<std::size_t>(i)] - 1)};
  if (const TkwPDArray* enc = dict->LookUpArray("Encode")) {
    if (!ReadNumbers(enc, nums) || nums.size() != static_cast<std::size_t>(2 * FM)) return;
    for (std::size_t i = 0; i < static_cast<std::size_t>(FM); ++i) FEncode[i] = {nums[2 * i], nums[2 * i + 1]};
  }
  for (int j = 0; j < FN; ++j) FDecode[static_cast<std::size_t>(j)] = FRange[static_cast<std::size_t>(j)];
  if (const TkwPDArray* dec = dict->LookUpArray("Decode")) {
    if (!ReadNumbers(dec, nums) || nums.size() != static_cast<std::size_t>(2 * FN)) return;
    for (std::size_t j = 0; j < static_cast<std::size_t>(FN); ++j) FDecode[j] = {nums[2 * j], nums[2 * j + 1]};
  }
  std::int64_t mul = FN;
  for (int i = 0; i < FM; ++i) {
    const auto& d = FDomain[static_cast<std::size_t>(i)];
    const auto& e = FEncode[static_cast<std::size_t>(i)];
    FInputMul[static_cast<std::size_t>(i)] = d[1] > d[0] ? (e[1] - e[0]) / (d[1] - d[0]) : 0;
    FIdxMul[static_cast<std::size_t>(i)] = mul;
    mul *= FSampleSize[static_cast<std::size_t>(i)];
  }
  FNSamples = points * FN;
  const std::int64_t bytes = (FNSamples * bps + 7) / 8;
  const std::string data = StreamBytes(AObject, bytes);
  FSamples.assign(static_cast<std::size_t>(FNSamples), 0.0);
  const double maxValue = std::ldexp(1.0, bps) - 1;
  // Samples are packed most significant bit first; a short stream leaves the rest 0.
  std::uint64_t acc = 0;
  int accBits = 0;
  std::size_t at = 0;
  for (std::int64_t k = 0; k < FNSamples; ++k) {
    while (accBits < bps) {
      const std::uint8_t b = at < data.size() ? static_cast<std::uint8_t>(data[at]) : 0;
      ++at;
      acc = (acc << 8) | b;
      accBits += 8;
    }
    const std::uint64_t v = (acc >> (accBits - bps)) & ((std::uint64_t{1} << bps) - 1);
    accBits -= bps;
    FSamples[static_cast<std::size_t>(k)] = static_cast<double>(v) / maxValue;
  }
  FOk = true;
}

std::unique_ptr<TkwPDFunction> TkwPDSampledFunction::Copy() const { return std::make_unique<TkwPDSampledFunction>(*this); }

void TkwPDSampledFunction::Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const {
  if (!FOk) return;
  std::array<std::int64_t, 16> lower{}, step{};
  std::array<double, 16> frac{};
  for (int i = 0; i < FM; ++i) {
    const std::size_t u = static_cast<std::size_t>(i);
    const double x = ClipToDomain(i, AInput[u]);
    double e = FEncode[u][0] + (x - FDomain[u][0]) * FInputMul[u];
    const double top = FSampleSize[u] - 1;
    if (!(e == e)) e = 0;
    e = std::clamp(e, 0.0, top);
    const double lo = std::floor(e);
    lower[u] = static_cast<std::int64_t>(lo);
    frac[u] = e - lo;
    step[u] = lower[u] < FSampleSize[u] - 1 ? FIdxMul[u] : 0;
  }
  std::int64_t base = 0;
  for (int i = 0; i < FM; ++i) base += lower[static_cast<std::size_t>(i)] * FIdxMul[static_cast<std::size_t>(i)];
  // Only inputs between two samples take part in the interpolation.
  std::array<std::size_t, 16> active{};
  int nActive = 0;
  for (int i = 0; i < FM; ++i) {
    if (frac[static_cast<std::size_t>(i)] != 0 && step[static_cast<std::size_t>(i)] != 0) {
      active[static_cast<std::size_t>(nActive++)] = static_cast<std::size_t>(i);
    }
  }
  const std::uint32_t corners = 1u << nActive;
  for (int j = 0; j < FN; ++j) {
    double sum = 0;
    for (std::uint32_t c = 0; c < corners; ++c) {
      double w = 1;
      std::int64_t idx = base + j;
      for (int k = 0; k < nActive; ++k) {
        const std::size_t u = active[static_cast<std::size_t>(k)];
        if (c & (1u << k)) {
          w *= frac[u];
          idx += step[u];
        } else {
          w *= 1 - frac[u];
        }
      }
      sum += w * FSamples[static_cast<std::size_t>(idx)];
    }
    const auto& d = FDecode[static_cast<std::size_t>(j)];
    AOutput[static_cast<std::size_t>(j)] = ClipToRange(j, d[0] + (d[1] - d[0]) * sum);
  }
}

// --- Exponential -----------------------------------------------------------------------------

TkwPDExponentialFunction::TkwPDExponentialFunction(const TkwPDDictionary& ADict) {
  if (!Init(ADict) || FM != 1) return;
  std::vector<double> c0{0}, c1{1};
  if (const TkwPDArray* a = ADict.LookUpArray("C0")) {
    if (!ReadNumbers(a, c0)) return;
  }
  if (const TkwPDArray* a = ADict.LookUpArray("C1")) {
    if (!ReadNumbers(a, c1)) return;
  }
  if (c0.size() != c1.size() || c0.empty() || c0.size() > static_cast<std::size_t>(kMaxFunctionArgs)) return;
  if (FHasRange && FN != static_cast<int>(c0.size())) return;
  const TkwPDBaseObject* n = ADict.LookUp("N");
  if (!n || !n->IsNumber() || !IsFiniteNumber(n->GetNumber())) return;
  FE = n->GetNumber();
  FN = static_cast<int>(c0.size());
  for (std::size_t j = 0; j < c0.size(); ++j) {
    FC0[j] = c0[j];
    FC1[j] = c1[j];
  }
  FOk = true;
}

std::unique_ptr<TkwPDFunction> TkwPDExponentialFunction::Copy() const { return std::make_unique<TkwPDExponentialFunction>(*this); }

void TkwPDExponentialFunction::Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const {
  if (!FOk) return;
  const double x = ClipToDomain(0, AInput[0]);
  double p = std::pow(x, FE);
  if (!std::isfinite(p)) p = 0;
  for (int j = 0; j < FN; ++j) {
    const std::size_t u = static_cast<std::size_t>(j);
    AOutput[u] = ClipToRange(j, FC0[u] + p * (FC1[u] - FC0[u]));
  }
}

// --- Stitching -------------------------------------------------------------------------------

TkwPDStitchingFunction::TkwPDStitchingFunction(const TkwPDDictionary& ADict, int ADepth) {
  if (!Init(ADict) || FM != 1) return;
  const TkwPDArray* funcs = ADict.LookUpArray("Functions");
  if (!funcs || funcs->GetLength() == 0 || funcs->GetLength() > kMaxStitchedFunctions) return;
  FK = static_cast<int>(funcs->GetLength());
  for (int i = 0; i < FK; ++i) {
    auto f = MakeFunction(funcs->Get(static_cast<std::size_t>(i)), ADepth + 1);
    if (!f || f->GetInputSize() < 1) return;
    FFuncs.push_back(std::move(f));
  }
  std::vector<double> bounds;
  if (!ReadNumbers(ADict.LookUpArray("Bounds"), bounds) || bounds.size() != static_cast<std::size_t>(FK - 1)) return;
  if (!ReadNumbers(ADict.LookUpArray("Encode"), FEncode) || FEncode.size() != static_cast<std::size_t>(2 * FK)) return;
  FBounds.push_back(FDomain[0][0]);
  for (double b : bounds) {
    if (b < FBounds.back()) return;
    FBounds.push_back(b);
  }
  FBounds.push_back(FDomain[0][1]);
  for (int i = 0; i < FK; ++i) {
    const std::size_t u = static_cast<std::size_t>(i);
    const double w = FBounds[u + 1] - FBounds[u];
    FScale.push_back(w > 0 ? (FEncode[2 * u + 1] - FEncode[2 * u]) / w : 0);
  }
  if (!FHasRange) FN = FFuncs[0]->GetOutputSize();
  FOk = FN >= 1;
}

TkwPDStitchingFunction::TkwPDStitchingFunction(const TkwPDStitchingFunction& AOther)
    : TkwPDFunction(AOther), FK(AOther.FK), FBounds(AOther.FBounds), FEncode(AOther.FEncode),
      FScale(AOther.FScale), FOk(AOther.FOk) {
  for (const auto& f : AOther.FFuncs) FFuncs.push_back(f->Copy());
}

std::unique_ptr<TkwPDFunction> TkwPDStitchingFunction::Copy() const { return std::make_unique<TkwPDStitchingFunction>(*this); }

void TkwPDStitchingFunction::Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const {
  if (!FOk) return;
  const double x = ClipToDomain(0, AInput[0]);
  int i = FK - 1;
  for (int k = 0; k < FK - 1; ++k) {
    if (x < FBounds[static_cast<std::size_t>(k) + 1]) {
      i = k;
      break;
    }
  }
  const std::size_t u = static_cast<std::size_t>(i);
  TkwFunctionArgs in{};
  in[0] = (x - FBounds[u]) * FScale[u] + FEncode[2 * u];
  TkwFunctionArgs out{};
  FFuncs[u]->Transform(in, out);
  for (int j = 0; j < FN; ++j) AOutput[static_cast<std::size_t>(j)] = ClipToRange(j, out[static_cast<std::size_t>(j)]);
}

// --- PostScript calculator -------------------------------------------------------------------

namespace {

using TOp = TkwPDPostScriptFunction::TOp;

struct TOpName {
  const char* Name;
  TOp Op;
};

constexpr TOpName kOps[] = {
    {"abs", TOp::Abs},       {"add", TOp::Add},     {"atan", TOp::Atan},       {"ceiling", TOp::Ceiling},
    {"cos", TOp::Cos},       {"cvi", TOp::Cvi},     {"cvr", TOp::Cvr},         {"div", TOp::Div},
    {"exp", TOp::Exp},       {"floor", TOp::Floor}, {"idiv", TOp::Idiv},       {"ln", TOp::Ln},
    {"log", TOp::Log},       {"mod", TOp::Mod},     {"mul", TOp::Mul},         {"neg", TOp::Neg},
    {"round", TOp::Round},   {"sin", TOp::Sin},     {"sqrt", TOp::Sqrt},       {"sub", TOp::Sub},
    {"truncate", TOp::Truncate}, {"and", TOp::And}, {"bitshift", TOp::Bitshift}, {"eq", TOp::Eq},
    {"false", TOp::False},   {"ge", TOp::Ge},       {"gt", TOp::Gt},           {"le", TOp::Le},
    {"lt", TOp::Lt},         {"ne", TOp::Ne},       {"not", TOp::Not},         {"or", TOp::Or},
    {"true", TOp::True},     {"xor", TOp::Xor},     {"copy", TOp::Copy},       {"dup", TOp::Dup},
    {"exch", TOp::Exch},     {"index", TOp::Index}, {"pop", TOp::Pop},         {"roll", TOp::Roll},
};

class TProgramReader {
public:
  explicit TProgramReader(const std::string& AText) : FText(AText) {}

  // Next token: "{", "}", a number or an operator name; empty at the end.
  std::string Next() {
    for (;;) {
      while (FPos < FText.size() && IsSpace(FText[FPos])) ++FPos;
      if (FPos < FText.size() && FText[FPos] == '%') {
        while (FPos < FText.size() && FText[FPos] != '\n' && FText[FPos] != '\r') ++FPos;
        continue;
      }
      break;
    }
    if (FPos >= FText.size()) return {};
    const char c = FText[FPos];
    if (c == '{' || c == '}') {
      ++FPos;
      return std::string(1, c);
    }
    const std::size_t start = FPos;
    while (FPos < FText.size() && !IsSpace(FText[FPos]) && FText[FPos] != '{' && FText[FPos] != '}' &&
           FText[FPos] != '%') {
      ++FPos;
    }
    return FText.substr(start, FPos - start);
  }

private:
  static bool IsSpace(char AChar) {
    return AChar == ' ' || AChar == '\t' || AChar == '\r' || AChar == '\n' || AChar == '\f' || AChar == '\0';
  }
  const std::string& FText;
  std::size_t FPos = 0;
};

bool ParseNumber(const std::string& AToken, double& AValue, bool& AIsInt) {
  if (AToken.empty()) return false;
  const char c = AToken[0];
  if (!(c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9'))) return false;
  AIsInt = AToken.find_first_of(".eE") == std::string::npos;
  char* end = nullptr;
  AValue = std::strtod(AToken.c_str(), &end);
  return end == AToken.c_str() + AToken.size() && std::isfinite(AValue);
}

// Compiles the body of a procedure up to its closing brace into ACode.
bool CompileProc(TProgramReader& AReader, std::vector<TkwPDPostScriptFunction::TInstr>& ACode, int ANesting) {
  using TInstr = TkwPDPostScriptFunction::TInstr;
  if (ANesting > kMaxPostScriptNesting) return false;
  for (;;) {
    std::string tok = AReader.Next();
    if (tok.empty()) return false;
    if (tok == "}") return true;
    if (tok == "{") {
      // { a } if   or   { a } { b } ifelse
      std::vector<TInstr> first, second;
      if (!CompileProc(AReader, first, ANesting + 1)) return false;
      tok = AReader.Next();
      bool hasElse = false;
      if (tok == "{") {
        if (!CompileProc(AReader, second, ANesting + 1)) return false;
        hasElse = true;
        tok = AReader.Next();
        if (tok != "ifelse") return false;
      } else if (tok != "if") {
        return false;
      }
      const std::size_t jif = ACode.size();
      ACode.push_back(TInstr{TOp::JumpIfFalse, false, 0, 0});
      const std::size_t offset = ACode.size();
      for (TInstr in : first) {
        if (in.Op == TOp::Jump || in.Op == TOp::JumpIfFalse) in.Target += offset;
        ACode.push_back(in);
      }
      if (hasElse) {
        const std::size_t jend = ACode.size();
        ACode.push_back(TInstr{TOp::Jump, false, 0, 0});
        ACode[jif].Target = ACode.size();
        const std::size_t off2 = ACode.size();
        for (TInstr in : second) {
          if (in.Op == TOp::Jump || in.Op == TOp::JumpIfFalse) in.Target += off2;
          ACode.push_back(in);
        }
        ACode[jend].Target = ACode.size();
      } else {
        ACode[jif].Target = ACode.size();
      }
      continue;
    }
    double v = 0;
    bool isInt = false;
    if (ParseNumber(tok, v, isInt)) {
      ACode.push_back(TInstr{TOp::Push, isInt, v, 0});
      continue;
    }
    bool found = false;
    for (const TOpName& op : kOps) {
      if (tok == op.Name) {
        ACode.push_back(TInstr{op.Op, false, 0, 0});
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
}

enum class TKind : std::uint8_t { Int, Real, Bool };
struct TValue {
  TKind Kind = TKind::Real;
  double V = 0;
};

class TMachine {
public:
  bool Push(TKind AKind, double AValue) {
    if (FTop >= kMaxPostScriptStack) return false;
    if (AKind == TKind::Int && std::fabs(AValue) > 2147483647.0) AKind = TKind::Real;
    FStack[FTop++] = TValue{AKind, AValue};
    return true;
  }
  bool Pop(TValue& AValue) {
    if (FTop == 0) return false;
    AValue = FStack[--FTop];
    return true;
  }
  bool PopNum(double& AValue, bool& AIsInt) {
    TValue v;
    if (!Pop(v) || v.Kind == TKind::Bool) return false;
    AValue = v.V;
    AIsInt = v.Kind == TKind::Int;
    return true;
  }
  [[nodiscard]] std::size_t Size() const { return FTop; }
  TValue& At(std::size_t AFromTop) { return FStack[FTop - 1 - AFromTop]; }
  void Drop(std::size_t ACount) { FTop -= ACount; }

private:
  std::array<TValue, kMaxPostScriptStack> FStack{};
  std::size_t FTop = 0;
};

// Each family of operators below pops its operands, checks them and pushes its result;
// false stops the program (a type or range error, or a full stack).

// abs neg ceiling floor round truncate cvi cvr sqrt sin cos ln log
bool RunUnaryMath(TOp AOp, TMachine& AM) {
  double a = 0;
  bool ai = false;
  if (!AM.PopNum(a, ai)) return false;
  TKind k = ai ? TKind::Int : TKind::Real;
  double r = a;
  switch (AOp) {
    case TOp::Abs: r = std::fabs(a); break;
    case TOp::Neg: r = -a; break;
    case TOp::Ceiling: r = std::ceil(a); break;
    case TOp::Floor: r = std::floor(a); break;
    case TOp::Round: r = std::floor(a + 0.5); break;
    case TOp::Truncate: r = std::trunc(a); break;
    case TOp::Cvi: r = std::trunc(a); k = TKind::Int; break;
    case TOp::Cvr: k = TKind::Real; break;
    case TOp::Sqrt:
      if (a < 0) return false;
      r = std::sqrt(a);
      k = TKind::Real;
      break;
    case TOp::Sin: r = std::sin(a * M_PI / 180.0); k = TKind::Real; break;
    case TOp::Cos: r = std::cos(a * M_PI / 180.0); k = TKind::Real; break;
    case TOp::Ln:
      if (a <= 0) return false;
      r = std::log(a);
      k = TKind::Real;
      break;
    case TOp::Log:
      if (a <= 0) return false;
      r = std::log10(a);
      k = TKind::Real;
      break;
    default: break;
  }
  return std::isfinite(r) && AM.Push(k, r);
}

// add sub mul div atan exp
bool RunBinaryMath(TOp AOp, TMachine& AM) {
  double a = 0, b = 0;
  bool ai = false, bi = false;
  if (!AM.PopNum(b, bi) || !AM.PopNum(a, ai)) return false;
  double r = 0;
  TKind k = ai && bi ? TKind::Int : TKind::Real;
  switch (AOp) {
    case TOp::Add: r = a + b; break;
    case TOp::Sub: r = a - b; break;
    case TOp::Mul: r = a * b; break;
    case TOp::Div:
      if (b == 0) return false;
      r = a / b;
      k = TKind::Real;
      break;
    case TOp::Atan: {
      // num den atan: the angle in degrees, 0 to 360.
      if (a == 0 && b == 0) return false;
      r = std::atan2(a, b) * 180.0 / M_PI;
      if (r < 0) r += 360.0;
      k = TKind::Real;
      break;
    }
    case TOp::Exp:
      r = std::pow(a, b);
      k = TKind::Real;
      break;
    default: break;
  }
  return std::isfinite(r) && AM.Push(k, r);
}

// idiv mod bitshift: integer operands only.
bool RunIntegerOp(TOp AOp, TMachine& AM) {
  double a = 0, b = 0;
  bool ai = false, bi = false;
  if (!AM.PopNum(b, bi) || !AM.PopNum(a, ai) || !ai || !bi) return false;
  if (AOp == TOp::Bitshift) {
    const auto ia = static_cast<std::uint32_t>(static_cast<std::int32_t>(a));
    const auto sh = static_cast<std::int64_t>(b);
    std::uint32_t r = 0;
    if (sh >= 0 && sh < 32) r = ia << sh;
    if (sh < 0 && sh > -32) r = ia >> (-sh);
    return AM.Push(TKind::Int, static_cast<double>(static_cast<std::int32_t>(r)));
  }
  const auto ia = static_cast<std::int64_t>(a), ib = static_cast<std::int64_t>(b);
  if (ib == 0) return false;
  return AM.Push(TKind::Int, static_cast<double>(AOp == TOp::Idiv ? ia / ib : ia % ib));
}

// and or xor not: logical on booleans, bitwise on integers.
bool RunLogic(TOp AOp, TMachine& AM) {
  TValue x, y;
  if (AOp == TOp::Not) {
    if (!AM.Pop(x)) return false;
    if (x.Kind == TKind::Bool) return AM.Push(TKind::Bool, x.V != 0 ? 0 : 1);
    if (x.Kind == TKind::Int) return AM.Push(TKind::Int, ~static_cast<std::int32_t>(x.V));
    return false;
  }
  if (!AM.Pop(y) || !AM.Pop(x)) return false;
  if (x.Kind == TKind::Bool && y.Kind == TKind::Bool) {
    const bool p = x.V != 0, q = y.V != 0;
    const bool r = AOp == TOp::And ? (p && q) : AOp == TOp::Or ? (p || q) : (p != q);
    return AM.Push(TKind::Bool, r ? 1 : 0);
  }
  if (x.Kind == TKind::Int && y.Kind == TKind::Int) {
    const auto p = static_cast<std::int32_t>(x.V), q = static_cast<std::int32_t>(y.V);
    const std::int32_t r = AOp == TOp::And ? (p & q) : AOp == TOp::Or ? (p | q) : (p ^ q);
    return AM.Push(TKind::Int, r);
  }
  return false;
}

// eq ne ge gt le lt: a boolean and a number are only ever unequal.
bool RunCompare(TOp AOp, TMachine& AM) {
  TValue x, y;
  if (!AM.Pop(y) || !AM.Pop(x)) return false;
  const bool equality = AOp == TOp::Eq || AOp == TOp::Ne;
  if ((x.Kind == TKind::Bool) != (y.Kind == TKind::Bool)) {
    return equality && AM.Push(TKind::Bool, AOp == TOp::Ne ? 1 : 0);
  }
  if (x.Kind == TKind::Bool && !equality) return false;
  bool r = false;
  switch (AOp) {
    case TOp::Eq: r = x.V == y.V; break;
    case TOp::Ne: r = x.V != y.V; break;
    case TOp::Ge: r = x.V >= y.V; break;
    case TOp::Gt: r = x.V > y.V; break;
    case TOp::Le: r = x.V <= y.V; break;
    case TOp::Lt: r = x.V < y.V; break;
    default: break;
  }
  return AM.Push(TKind::Bool, r ? 1 : 0);
}

// n j roll: the top n elements rotated j places upwards.
bool RunRoll(TMachine& AM) {
  double a = 0, b = 0;
  bool ai = false, bi = false;
  if (!AM.PopNum(b, bi) || !AM.PopNum(a, ai) || !ai || !bi) return false;
  if (a < 0 || static_cast<std::size_t>(a) > AM.Size()) return false;
  const auto n = static_cast<std::int64_t>(a);
  if (n == 0) return true;
  std::int64_t j = static_cast<std::int64_t>(b) % n;
  if (j < 0) j += n;
  std::array<TValue, kMaxPostScriptStack> tmp{};
  for (std::int64_t k = 0; k < n; ++k) tmp[static_cast<std::size_t>(k)] = AM.At(static_cast<std::size_t>(n - 1 - k));
  for (std::int64_t k = 0; k < n; ++k) {
    AM.At(static_cast<std::size_t>(n - 1 - ((k + j) % n))) = tmp[static_cast<std::size_t>(k)];
  }
  return true;
}

// dup exch pop copy index roll
bool RunStackOp(TOp AOp, TMachine& AM) {
  double a = 0;
  bool ai = false;
  TValue x;
  switch (AOp) {
    case TOp::Dup:
      if (AM.Size() < 1) return false;
      x = AM.At(0);
      return AM.Push(x.Kind, x.V);
    case TOp::Exch:
      if (AM.Size() < 2) return false;
      std::swap(AM.At(0), AM.At(1));
      return true;
    case TOp::Pop: return AM.Pop(x);
    case TOp::Copy: {
      if (!AM.PopNum(a, ai) || !ai || a < 0 || static_cast<std::size_t>(a) > AM.Size()) return false;
      const auto n = static_cast<std::size_t>(a);
      for (std::size_t k = 0; k < n; ++k) {
        x = AM.At(n - 1);
        if (!AM.Push(x.Kind, x.V)) return false;
      }
      return true;
    }
    case TOp::Index:
      if (!AM.PopNum(a, ai) || !ai || a < 0 || static_cast<std::size_t>(a) >= AM.Size()) return false;
      x = AM.At(static_cast<std::size_t>(a));
      return AM.Push(x.Kind, x.V);
    case TOp::Roll: return RunRoll(AM);
    default: return false;
  }
}

bool Run(const std::vector<TkwPDPostScriptFunction::TInstr>& ACode, TMachine& AM) {
  std::size_t pc = 0;
  std::size_t steps = 0;
  while (pc < ACode.size()) {
    if (++steps > kMaxPostScriptOps) return false;
    const auto& in = ACode[pc++];
    TValue x;
    bool ok = true;
    switch (in.Op) {
      case TOp::Push: ok = AM.Push(in.IsInt ? TKind::Int : TKind::Real, in.Value); break;
      case TOp::JumpIfFalse:
        if (!AM.Pop(x) || x.Kind != TKind::Bool) return false;
        if (x.V == 0) pc = in.Target;
        break;
      case TOp::Jump: pc = in.Target; break;
      case TOp::Abs:
      case TOp::Neg:
      case TOp::Ceiling:
      case TOp::Floor:
      case TOp::Round:
      case TOp::Truncate:
      case TOp::Cvi:
      case TOp::Cvr:
      case TOp::Sqrt:
      case TOp::Sin:
      case TOp::Cos:
      case TOp::Ln:
      case TOp::Log: ok = RunUnaryMath(in.Op, AM); break;
      case TOp::Add:
      case TOp::Sub:
      case TOp::Mul:
      case TOp::Div:
      case TOp::Atan:
      case TOp::Exp: ok = RunBinaryMath(in.Op, AM); break;
      case TOp::Idiv:
      case TOp::Mod:
      case TOp::Bitshift: ok = RunIntegerOp(in.Op, AM); break;
      case TOp::And:
      case TOp::Or:
      case TOp::Xor:
      case TOp::Not: ok = RunLogic(in.Op, AM); break;
      case TOp::Eq:
      case TOp::Ne:
      case TOp::Ge:
      case TOp::Gt:
      case TOp::Le:
      case TOp::Lt: ok = RunCompare(in.Op, AM); break;
      case TOp::True:
      case TOp::False: ok = AM.Push(TKind::Bool, in.Op == TOp::True ? 1 : 0); break;
      case TOp::Dup:
      case TOp::Exch:
      case TOp::Pop:
      case TOp::Copy:
      case TOp::Index:
      case TOp::Roll: ok = RunStackOp(in.Op, AM); break;
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace

TkwPDPostScriptFunction::TkwPDPostScriptFunction(TkwPDBaseObject& AObject) {
  const TkwPDDictionary* dict = DictOf(AObject);
  if (!dict || !Init(*dict) || !FHasRange || FN < 1) return;
  Compile(StreamBytes(AObject, kMaxPostScriptBytes));
}

bool TkwPDPostScriptFunction::Compile(const std::string& AProgram) {
  FCode.clear();
  FOk = false;
  TProgramReader reader(AProgram);
  if (reader.Next() != "{") return false;
  std::vector<TInstr> code;
  if (!CompileProc(reader, code, 0)) return false;
  if (!reader.Next().empty()) return false;
  FCode = std::move(code);
  FOk = true;
  return true;
}

std::unique_ptr<TkwPDFunction> TkwPDPostScriptFunction::Copy() const { return std::make_unique<TkwPDPostScriptFunction>(*this); }

void TkwPDPostScriptFunction::Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const {
  if (!FOk) return;
  TMachine m;
  for (int i = 0; i < FM; ++i) m.Push(TKind::Real, ClipToDomain(i, AInput[static_cast<std::size_t>(i)]));
  const bool ran = Run(FCode, m);
  // A program that fails gives the lower end of each output range.
  for (int j = FN - 1; j >= 0; --j) {
    TValue v;
    double r = FRange[static_cast<std::size_t>(j)][0];
    if (ran && m.Pop(v) && v.Kind != TKind::Bool) r = v.V;
    AOutput[static_cast<std::size_t>(j)] = ClipToRange(j, r);
  }
}

}  // namespace qm
