#include "pdf/images/kwPDFunction.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "base/Limits.h"
#include "tests/pdf/images/ImageTestSupport.h"

namespace qm {
namespace {

// A calculator function of one input and one output (range wide enough not to clip).
class Calculator : public ::testing::Test {
protected:
  // Each function is read from a file of its own; it keeps nothing of the file.
  std::unique_ptr<TkwPDFunction> Make(const std::string& AProgram, int AIn = 1, int AOut = 1) {
    std::string dict = "/FunctionType 4 /Domain [";
    for (int i = 0; i < AIn; ++i) dict += "-1000 1000 ";
    dict += "] /Range [";
    for (int i = 0; i < AOut; ++i) dict += "-1000 1000 ";
    dict += "]";
    test::TkwObjectFile file;
    const int n = file.AddStream(dict, AProgram);
    file.Load();
    return MakeFunction(file.Get(n));
  }
  double Eval(const std::string& AProgram, double AX = 0) {
    auto f = Make(AProgram);
    if (!f) return -9999;
    TkwFunctionArgs in{}, out{};
    in[0] = AX;
    f->Transform(in, out);
    return out[0];
  }
};

TEST_F(Calculator, ArithmeticOperators) {
  EXPECT_DOUBLE_EQ(Eval("{ 2 add }", 3), 5);
  EXPECT_DOUBLE_EQ(Eval("{ 2 sub }", 3), 1);
  EXPECT_DOUBLE_EQ(Eval("{ 4 mul }", 3), 12);
  EXPECT_DOUBLE_EQ(Eval("{ 4 div }", 3), 0.75);
  EXPECT_DOUBLE_EQ(Eval("{ cvi 2 idiv }", 7), 3);
  EXPECT_DOUBLE_EQ(Eval("{ cvi 3 mod }", 7), 1);
  EXPECT_DOUBLE_EQ(Eval("{ neg }", 3), -3);
  EXPECT_DOUBLE_EQ(Eval("{ abs }", -3), 3);
  EXPECT_DOUBLE_EQ(Eval("{ ceiling }", 2.2), 3);
  EXPECT_DOUBLE_EQ(Eval("{ floor }", -2.2), -3);
  EXPECT_DOUBLE_EQ(Eval("{ round }", 2.5), 3);
  EXPECT_DOUBLE_EQ(Eval("{ truncate }", -2.7), -2);
  EXPECT_DOUBLE_EQ(Eval("{ sqrt }", 16), 4);
  EXPECT_NEAR(Eval("{ sin }", 90), 1, 1e-12);
  EXPECT_NEAR(Eval("{ cos }", 180), -1, 1e-12);
  EXPECT_NEAR(Eval("{ 1 atan }", 1), 45, 1e-12);
  EXPECT_NEAR(Eval("{ -1 atan }", 0), 180, 1e-12);
  EXPECT_DOUBLE_EQ(Eval("{ 3 exp }", 2), 8);
  EXPECT_NEAR(Eval("{ ln }", 2.718281828459045), 1, 1e-12);
  EXPECT_NEAR(Eval("{ log }", 100), 2, 1e-12);
  EXPECT_DOUBLE_EQ(Eval("{ cvr }", 3), 3);
}

TEST_F(Calculator, BooleanRelationalAndBitOperators) {
  EXPECT_DOUBLE_EQ(Eval("{ 0.5 gt { 1 } { 0 } ifelse }", 0.7), 1);
  EXPECT_DOUBLE_EQ(Eval("{ 0.5 gt { 1 } { 0 } ifelse }", 0.3), 0);
  EXPECT_DOUBLE_EQ(Eval("{ dup 0.5 lt { pop 7 } if }", 0.3), 7);
  EXPECT_DOUBLE_EQ(Eval("{ dup 0.5 lt { pop 7 } if }", 0.9), 0.9);
  EXPECT_DOUBLE_EQ(Eval("{ pop 1 1 eq { 2 } { 3 } ifelse }"), 2);
  EXPECT_DOUBLE_EQ(Eval("{ pop 1 2 ne true and false or { 2 } { 3 } ifelse }"), 2);
  EXPECT_DOUBLE_EQ(Eval("{ pop true false xor not { 2 } { 3 } ifelse }"), 3);
  EXPECT_DOUBLE_EQ(Eval("{ 2 ge 1 le }", 1.5), -1000);  // a boolean compared with a number
  EXPECT_DOUBLE_EQ(Eval("{ pop 12 10 and }"), 8);
  EXPECT_DOUBLE_EQ(Eval("{ pop 12 3 or }"), 15);
  EXPECT_DOUBLE_EQ(Eval("{ pop 12 10 xor }"), 6);
  EXPECT_DOUBLE_EQ(Eval("{ pop 0 not }"), -1);
  EXPECT_DOUBLE_EQ(Eval("{ pop 1 4 bitshift }"), 16);
  EXPECT_DOUBLE_EQ(Eval("{ pop 16 -2 bitshift }"), 4);
  // Nested conditionals.
  EXPECT_DOUBLE_EQ(Eval("{ dup 0 gt { 10 gt { 2 } { 1 } ifelse } { pop 0 } ifelse }", 5), 1);
  EXPECT_DOUBLE_EQ(Eval("{ dup 0 gt { 10 gt { 2 } { 1 } ifelse } { pop 0 } ifelse }", 50), 2);
  EXPECT_DOUBLE_EQ(Eval("{ dup 0 gt { 10 gt { 2 } { 1 } ifelse } { pop 0 } ifelse }", -5), 0);
}

TEST_F(Calculator, StackOperators) {
  EXPECT_DOUBLE_EQ(Eval("{ 2 exch sub }", 5), -3);
  EXPECT_DOUBLE_EQ(Eval("{ dup mul }", 3), 9);
  EXPECT_DOUBLE_EQ(Eval("{ 1 2 3 pop pop pop }", 4), 4);
  EXPECT_DOUBLE_EQ(Eval("{ 1 2 2 copy add add add }", 0), 6);
  EXPECT_DOUBLE_EQ(Eval("{ 10 20 2 index add add add }", 1), 32);
  EXPECT_DOUBLE_EQ(Eval("{ 1 2 3 3 -1 roll }", 0), 1);         // (2 3 1)
  EXPECT_DOUBLE_EQ(Eval("{ 1 2 3 3 2 roll pop pop }", 0), 2);   // (2 3 1)
  EXPECT_DOUBLE_EQ(Eval("{ 1 2 3 3 7 roll }", 0), 2);           // 7 places are 1: (3 1 2)
  EXPECT_DOUBLE_EQ(Eval("{ 1 2 3 9 1 roll }", 0), -1000);       // more than the stack holds
  EXPECT_DOUBLE_EQ(Eval("{ 1 2 3 3 1 roll pop pop }", 0), 3);
}

TEST_F(Calculator, SeveralOutputsComeOutInStackOrder) {
  auto f = Make("{ dup 2 mul exch 3 mul }", 1, 2);
  ASSERT_TRUE(f);
  TkwFunctionArgs in{}, out{};
  in[0] = 1;
  f->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 2);
  EXPECT_DOUBLE_EQ(out[1], 3);
}

TEST_F(Calculator, ProgramsThatDoNotParseAreRejected) {
  EXPECT_FALSE(Make("{ 1 add"));
  EXPECT_FALSE(Make("1 add }"));
  EXPECT_FALSE(Make("{ 1 frobnicate }"));
  EXPECT_FALSE(Make("{ { 1 } }"));          // a procedure without if
  EXPECT_FALSE(Make("{ { 1 } { 2 } if }"));  // two procedures need ifelse
  EXPECT_FALSE(Make("{ 1 } extra"));
  std::string deep = "{ ";
  for (int i = 0; i < 200; ++i) deep += "true { ";
  for (int i = 0; i < 200; ++i) deep += "} if ";
  deep += "}";
  EXPECT_FALSE(Make(deep));
}

TEST_F(Calculator, RunTimeFaultsGiveTheRangeMinimum) {
  // Stack overflow beyond 100 entries, underflow, division by zero, type mismatch.
  std::string push = "{ ";
  for (int i = 0; i < 120; ++i) push += "1 ";
  for (int i = 0; i < 120; ++i) push += "pop ";
  push += "}";
  EXPECT_DOUBLE_EQ(Eval(push, 5), -1000);
  EXPECT_DOUBLE_EQ(Eval("{ pop pop }", 5), -1000);
  EXPECT_DOUBLE_EQ(Eval("{ 0 div }", 5), -1000);
  EXPECT_DOUBLE_EQ(Eval("{ true add }", 5), -1000);
  EXPECT_DOUBLE_EQ(Eval("{ 2.5 idiv }", 5), -1000);
}

class Functions : public ::testing::Test {
protected:
  test::TkwObjectFile F;
};

TEST_F(Functions, ExponentialStitchingSampledAndIdentity) {
  const int e = F.Add("<< /FunctionType 2 /Domain [0 1] /C0 [0 1] /C1 [1 0] /N 2 >>");
  const int e2 = F.Add("<< /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >>");
  const int st = F.Add("<< /FunctionType 3 /Domain [0 1] /Functions [4 0 R 4 0 R] /Bounds [0.5] /Encode [0 1 1 0] >>");
  // Two inputs, 2 × 2 samples of one output: 0, 255 / 255, 0.
  const int sm = F.AddStream("/FunctionType 0 /Domain [0 1 0 1] /Range [0 1] /Size [2 2] /BitsPerSample 8",
                             std::string("\x00\xff\xff\x00", 4));
  const int noRange = F.AddStream("/FunctionType 0 /Domain [0 1] /Size [2] /BitsPerSample 8", std::string("\x00\xff", 2));
  const int huge = F.AddStream("/FunctionType 0 /Domain [0 1 0 1] /Range [0 1] /Size [100000 100000] /BitsPerSample 8", "");
  const int badBounds = F.Add("<< /FunctionType 3 /Domain [0 1] /Functions [4 0 R 4 0 R] /Bounds [] /Encode [0 1 1 0] >>");
  const int loop = F.Add("<< /FunctionType 3 /Domain [0 1] /Functions [10 0 R] /Bounds [] /Encode [0 1] >>");
  F.Load();
  TkwFunctionArgs in{}, out{};

  auto fe = MakeFunction(F.Get(e));
  ASSERT_TRUE(fe);
  in[0] = 0.5;
  fe->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 0.25);
  EXPECT_DOUBLE_EQ(out[1], 0.75);
  in[0] = 7;  // clipped to the domain
  fe->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 1);

  auto fs = MakeFunction(F.Get(st));
  ASSERT_TRUE(fs);
  in[0] = 0.25;
  fs->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 0.5);
  in[0] = 0.75;  // second half, encoded 1 → 0
  fs->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 0.5);
  in[0] = 1;
  fs->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 0);

  auto fm = MakeFunction(F.Get(sm));
  ASSERT_TRUE(fm);
  in[0] = 0;
  in[1] = 0;
  fm->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 0);
  in[0] = 1;
  fm->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 1);
  in[0] = 0.5;
  in[1] = 0.5;
  fm->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 0.5);
  in[0] = 0.25;
  in[1] = 0;
  fm->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[0], 0.25);

  EXPECT_FALSE(MakeFunction(F.Get(noRange)));
  EXPECT_FALSE(MakeFunction(F.Get(huge)));
  EXPECT_FALSE(MakeFunction(F.Get(badBounds)));
  EXPECT_FALSE(MakeFunction(F.Get(loop)));
  (void)e2;

  TkwPDName identity("Identity");
  auto fi = MakeFunction(&identity);
  ASSERT_TRUE(fi);
  in[3] = 0.125;
  fi->Transform(in, out);
  EXPECT_DOUBLE_EQ(out[3], 0.125);
}

// ---- Caps at their edge: a function that reaches the cap works, one step more is refused
// (a calculator program then gives the range minimum).

std::string Times(std::string_view AText, std::size_t ACount) {
  std::string s;
  for (std::size_t i = 0; i < ACount; ++i) s += AText;
  return s;
}

struct ProgramCapCase {
  const char* Name;
  std::string Program;
  double Expected;  // for input 3
};

class ProgramCaps : public Calculator, public ::testing::WithParamInterface<ProgramCapCase> {};

TEST_P(ProgramCaps, ReachingTheCapWorksAndPassingItFails) {
  EXPECT_DOUBLE_EQ(Eval(GetParam().Program, 3), GetParam().Expected) << GetParam().Name;
}

// The input takes one stack entry; each "1 pop" pair is two operators.
const std::string kPadding = "{ " + std::string(kMaxPostScriptBytes - 9, ' ');

INSTANTIATE_TEST_SUITE_P(
    Limits, ProgramCaps,
    ::testing::Values(
        ProgramCapCase{"stack_at_cap", "{ " + Times("1 ", kMaxPostScriptStack - 1) + Times("pop ", kMaxPostScriptStack - 1) + "}", 3},
        ProgramCapCase{"stack_past_cap", "{ " + Times("1 ", kMaxPostScriptStack) + Times("pop ", kMaxPostScriptStack) + "}", -1000},
        ProgramCapCase{"ops_at_cap", "{ " + Times("1 pop ", kMaxPostScriptOps / 2 - 1) + "1 add }", 4},
        ProgramCapCase{"ops_past_cap", "{ " + Times("1 pop ", kMaxPostScriptOps / 2 - 1) + "1 add abs }", -1000},
        ProgramCapCase{"nesting_at_cap",
                       "{ " + Times("true { ", kMaxPostScriptNesting) + "1 add " + Times("} if ", kMaxPostScriptNesting) + "}", 4},
        ProgramCapCase{"nesting_past_cap",
                       "{ " + Times("true { ", kMaxPostScriptNesting + 1) + "1 add " + Times("} if ", kMaxPostScriptNesting + 1) + "}",
                       -9999},
        ProgramCapCase{"bytes_at_cap", kPadding + "1 add }", 4},
        ProgramCapCase{"bytes_past_cap", kPadding + " 1 add }", -9999}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

struct FunctionCapCase {
  const char* Name;
  std::function<int(test::TkwObjectFile&)> Build;  // returns the function's object number
  bool Made;
};

class FunctionCaps : public ::testing::TestWithParam<FunctionCapCase> {};

TEST_P(FunctionCaps, ReachingTheCapWorksAndPassingItIsRefused) {
  test::TkwObjectFile file;
  const int n = GetParam().Build(file);
  file.Load();
  EXPECT_EQ(MakeFunction(file.Get(n)) != nullptr, GetParam().Made) << GetParam().Name;
}

// A stitching function of ACount copies of one exponential function.
int Stitched(test::TkwObjectFile& AFile, std::size_t ACount) {
  const int e = AFile.Add("<< /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >>");
  std::string bounds;
  for (std::size_t i = 1; i < ACount; ++i) bounds += std::to_string(static_cast<double>(i) / static_cast<double>(ACount)) + " ";
  return AFile.Add("<< /FunctionType 3 /Domain [0 1] /Functions [" + Times(std::to_string(e) + " 0 R ", ACount) +
                   "] /Bounds [" + bounds + "] /Encode [" + Times("0 1 ", ACount) + "] >>");
}

// ADepth stitching functions, each holding the next, around one exponential function.
int Nested(test::TkwObjectFile& AFile, int ADepth) {
  int inner = AFile.Add("<< /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >>");
  for (int i = 0; i < ADepth; ++i) {
    inner = AFile.Add("<< /FunctionType 3 /Domain [0 1] /Functions [" + std::to_string(inner) +
                      " 0 R] /Bounds [] /Encode [0 1] >>");
  }
  return inner;
}

int Sampled(test::TkwObjectFile& AFile, std::int64_t ASize) {
  return AFile.AddStream("/FunctionType 0 /Domain [0 1] /Range [0 1] /Size [" + std::to_string(ASize) +
                             "] /BitsPerSample 8",
                         "\x10\x20");
}

INSTANTIATE_TEST_SUITE_P(
    Limits, FunctionCaps,
    ::testing::Values(
        FunctionCapCase{"stitched_at_cap", [](auto& F) { return Stitched(F, kMaxStitchedFunctions); }, true},
        FunctionCapCase{"stitched_past_cap", [](auto& F) { return Stitched(F, kMaxStitchedFunctions + 1); }, false},
        FunctionCapCase{"depth_at_cap", [](auto& F) { return Nested(F, kMaxFunctionDepth); }, true},
        FunctionCapCase{"depth_past_cap", [](auto& F) { return Nested(F, kMaxFunctionDepth + 1); }, false},
        FunctionCapCase{"samples_at_cap", [](auto& F) { return Sampled(F, kMaxSampleValues); }, true},
        FunctionCapCase{"samples_past_cap", [](auto& F) { return Sampled(F, kMaxSampleValues + 1); }, false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
}  // namespace qm
