#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/Limits.h"

// PDF functions (identity, sampled, exponential, stitching and PostScript calculator),
// as colour spaces use them for tint transforms.
namespace qm {

class TkwPDBaseObject;
class TkwPDDictionary;

enum class TkwFunctionType : std::uint8_t { ftIdentity, ftSampled, ftExponential, ftStitching, ftPostScript };

using TkwFunctionArgs = std::array<double, kMaxFunctionArgs>;

class TkwPDFunction {
public:
  virtual ~TkwPDFunction() = default;
  [[nodiscard]] virtual std::unique_ptr<TkwPDFunction> Copy() const = 0;
  [[nodiscard]] virtual TkwFunctionType GetType() const = 0;
  // Reads FM inputs and writes FN outputs; the other outputs are left as they are.
  virtual void Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const = 0;
  [[nodiscard]] virtual bool IsOk() const { return true; }

  [[nodiscard]] int GetInputSize() const { return FM; }
  [[nodiscard]] int GetOutputSize() const { return FN; }

  // Reads "Domain" and "Range"; false when Domain is missing or malformed.
  bool Init(const TkwPDDictionary& ADict);

  int FM = 0;  // inputs
  int FN = 0;  // outputs
  std::array<std::array<double, 2>, kMaxFunctionArgs> FDomain{};
  std::array<std::array<double, 2>, kMaxFunctionArgs> FRange{};
  bool FHasRange = false;

protected:
  [[nodiscard]] double ClipToDomain(int AIndex, double AValue) const;
  [[nodiscard]] double ClipToRange(int AIndex, double AValue) const;
};

// A stream or dictionary by its FunctionType, or the name Identity; nullptr for anything
// else and for functions that fail their checks. ADepth counts nested stitching functions.
[[nodiscard]] std::unique_ptr<TkwPDFunction> MakeFunction(TkwPDBaseObject* AObject, int ADepth = 0);

class TkwPDIdentityFunction final : public TkwPDFunction {
public:
  TkwPDIdentityFunction();
  [[nodiscard]] std::unique_ptr<TkwPDFunction> Copy() const override;
  [[nodiscard]] TkwFunctionType GetType() const override { return TkwFunctionType::ftIdentity; }
  void Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const override;
};

class TkwPDSampledFunction final : public TkwPDFunction {
public:
  // AObject: the function's stream (the samples are read from it).
  explicit TkwPDSampledFunction(TkwPDBaseObject& AObject);
  [[nodiscard]] std::unique_ptr<TkwPDFunction> Copy() const override;
  [[nodiscard]] TkwFunctionType GetType() const override { return TkwFunctionType::ftSampled; }
  void Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const override;
  [[nodiscard]] bool IsOk() const override { return FOk; }

  std::array<int, 16> FSampleSize{};
  std::array<std::array<double, 2>, 16> FEncode{};
  std::array<std::array<double, 2>, kMaxFunctionArgs> FDecode{};
  std::array<double, 16> FInputMul{};
  std::array<std::int64_t, 16> FIdxMul{};
  std::vector<double> FSamples;  // 0..1, FN per sample point
  std::int64_t FNSamples = 0;
  bool FOk = false;
};

class TkwPDExponentialFunction final : public TkwPDFunction {
public:
  explicit TkwPDExponentialFunction(const TkwPDDictionary& ADict);
  [[nodiscard]] std::unique_ptr<TkwPDFunction> Copy() const override;
  [[nodiscard]] TkwFunctionType GetType() const override { return TkwFunctionType::ftExponential; }
  void Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const override;
  [[nodiscard]] bool IsOk() const override { return FOk; }

  TkwFunctionArgs FC0{}, FC1{};
  double FE = 1;
  bool FOk = false;
};

class TkwPDStitchingFunction final : public TkwPDFunction {
public:
  TkwPDStitchingFunction(const TkwPDDictionary& ADict, int ADepth);
  TkwPDStitchingFunction(const TkwPDStitchingFunction& AOther);
  [[nodiscard]] std::unique_ptr<TkwPDFunction> Copy() const override;
  [[nodiscard]] TkwFunctionType GetType() const override { return TkwFunctionType::ftStitching; }
  void Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const override;
  [[nodiscard]] bool IsOk() const override { return FOk; }

  std::vector<std::unique_ptr<TkwPDFunction>> FFuncs;
  int FK = 0;
  std::vector<double> FBounds;  // K + 1 entries: domain minimum, the Bounds, domain maximum
  std::vector<double> FEncode;  // 2 K entries
  std::vector<double> FScale;   // K entries
  bool FOk = false;
};

// A type 4 function: a program of the PostScript calculator operators, compiled once into
// straight code with jumps for if and ifelse and run on a stack of at most 100 values.
class TkwPDPostScriptFunction final : public TkwPDFunction {
public:
  explicit TkwPDPostScriptFunction(TkwPDBaseObject& AObject);
  // A program given as text (the stream's bytes) with Domain and Range set by the caller.
  bool Compile(const std::string& AProgram);
  [[nodiscard]] std::unique_ptr<TkwPDFunction> Copy() const override;
  [[nodiscard]] TkwFunctionType GetType() const override { return TkwFunctionType::ftPostScript; }
  void Transform(const TkwFunctionArgs& AInput, TkwFunctionArgs& AOutput) const override;
  [[nodiscard]] bool IsOk() const override { return FOk; }

  enum class TOp : std::uint8_t {
    Push, JumpIfFalse, Jump,
    Abs, Add, Atan, Ceiling, Cos, Cvi, Cvr, Div, Exp, Floor, Idiv, Ln, Log, Mod, Mul, Neg,
    Round, Sin, Sqrt, Sub, Truncate,
    And, Bitshift, Eq, False, Ge, Gt, Le, Lt, Ne, Not, Or, True, Xor,
    Copy, Dup, Exch, Index, Pop, Roll
  };
  struct TInstr {
    TOp Op = TOp::Push;
    bool IsInt = false;     // Push: an integer operand
    double Value = 0;       // Push: the operand
    std::size_t Target = 0; // jumps: the next instruction
  };
  TkwPDPostScriptFunction() = default;

private:
  std::vector<TInstr> FCode;
  bool FOk = false;
};

}  // namespace qm
