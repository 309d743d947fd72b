#include "pdf/core/kwStream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <random>

#include "pdf/core/kwASCIIHexDecode.h"
#include "pdf/core/kwFlateDecode.h"
#include "pdf/core/kwLZWDecode.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDParser.h"

namespace qm {
namespace {

std::string Deflate(std::string_view AData, int ALevel = 6, int AStrategy = Z_DEFAULT_STRATEGY) {
  z_stream z{};
  deflateInit2(&z, ALevel, Z_DEFLATED, 15, 8, AStrategy);
  std::string out(deflateBound(&z, AData.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(AData.data()));
  z.avail_in = static_cast<uInt>(AData.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string Sample(std::size_t ASize, unsigned ASeed = 1) {
  // Text-like data with repeats, so that every kind of code occurs.
  std::mt19937 rng(ASeed);
  static const char* kWords[] = {"BT ", "/F1 12 Tf ", "ET\n", "0 0 1 rg ", "(Hello) Tj ", "q ", "Q\n"};
  std::string s;
  while (s.size() < ASize) {
    if (rng() % 5 == 0) {
      s += static_cast<char>(rng() & 0xFF);
    } else {
      s += kWords[rng() % 7];
    }
  }
  s.resize(ASize);
  return s;
}

// Reads the whole chain built for ADictText (a dictionary in PDF syntax) over AData.
std::string Decode(const std::string& ADictText, std::string AData) {
  auto parser = std::make_unique<TkwPDParser>(
      nullptr, std::make_unique<TkwPDLexer>(TkwMemoryStream::FromString(ADictText)), false);
  auto obj = parser->GetObject();
  EXPECT_TRUE(obj->IsDict()) << ADictText;
  std::unique_ptr<TkwPDDictionary> dict(static_cast<TkwPDDictionary*>(obj.release()));
  auto stream = TkwPDFilterManager::GetFilter(std::move(dict),
                                              TkwMemoryStream::FromString(std::move(AData)));
  return stream->ReadAll();
}

// --- base streams ------------------------------------------------------------------------------

TEST(BaseStream, WindowsReadInterleavedAndStopAtTheirLength) {
  auto file = TkwMemoryStream::FromString("0123456789");
  auto a = file->MakeSubStream(2, 3, true);
  auto b = file->MakeSubStream(5, 0, false);
  a->Reset();
  b->Reset();
  EXPECT_EQ(a->GetChar(), '2');
  EXPECT_EQ(b->GetChar(), '5');
  EXPECT_EQ(a->GetChar(), '3');
  EXPECT_EQ(a->GetPosition(), 4);
  EXPECT_EQ(a->GetChar(), '4');
  EXPECT_EQ(a->GetChar(), -1);
  EXPECT_EQ(a->LookChar(), -1);
  std::string rest;
  b->Read(rest, -1);
  EXPECT_EQ(rest, "6789");
  a->Reset();
  EXPECT_EQ(a->GetChar(), '2');
  EXPECT_EQ(file->GetSize(), 10);
  auto huge = file->MakeSubStream(8, INT64_MAX, true);  // length past the end is cut
  huge->Reset();
  std::string tail;
  huge->Read(tail, -1);
  EXPECT_EQ(tail, "89");
}

TEST(BaseStream, SeekAndMoveStart) {
  auto file = TkwMemoryStream::FromString("junk%PDF-1.4 body");
  file->SetPosition(4);
  EXPECT_EQ(file->GetChar(), '%');
  file->MoveStart(4);  // offsets now count from the header
  file->SetPosition(0);
  EXPECT_EQ(file->GetChar(), '%');
  auto sub = file->MakeSubStream(9, 4, true);
  sub->Reset();
  std::string body;
  sub->Read(body, -1);
  EXPECT_EQ(body, "body");
  file->SetPosition(-1, TSeekOrigin::soEnd);
  EXPECT_EQ(file->GetChar(), 'y');
  EXPECT_EQ(file->GetSize(), 13);
}

TEST(BaseStream, ReadLineStopsAtEveryLineEnd) {
  auto s = TkwMemoryStream::FromString("ab\r\ncd\nef\rgh");
  s->Reset();
  EXPECT_EQ(s->ReadLine(100), "ab");
  EXPECT_EQ(s->ReadLine(100), "cd");
  EXPECT_EQ(s->ReadLine(100), "ef\rgh");
}

TEST(FileStream, MissingFileAndRealFile) {
  EXPECT_THROW(TkwFileStream::Open("/nonexistent/dir/x.pdf"), ExFileNotFound);
  EXPECT_THROW(TkwFileStream::Open("/"), ExIsDirectory);
  const std::string path = ::testing::TempDir() + "/corea_filestream.bin";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("%PDF-1.7\nhello", f);
  std::fclose(f);
  auto file = TkwFileStream::Open(path);
  EXPECT_EQ(file->GetSize(), 14);
  auto sub = file->MakeSubStream(9, 5, true);
  sub->Reset();
  std::string text;
  sub->Read(text, -1);
  EXPECT_EQ(text, "hello");
  std::remove(path.c_str());
}

// Files of every size read back byte for byte, whether they are read onto the heap (small
// ones) or into pages of their own (from a few hundred KiB), and their windows outlive the
// file stream that made them.
TEST(FileStream, SmallAndLargeFilesReadWhole) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{256 * 1024 - 1},
                                 std::size_t{256 * 1024}, std::size_t{3 * 1024 * 1024 + 7}}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4099) & 0xFF);
    const std::string path = ::testing::TempDir() + "/corea_filestream_whole.bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    TkwRef<TkwBaseStream> tail;
    {
      auto file = TkwFileStream::Open(path);
      ASSERT_EQ(file->GetSize(), static_cast<std::int64_t>(size));
      file->Reset();
      std::string read;
      file->Read(read, -1);
      EXPECT_EQ(read, bytes) << size;
      if (size > 10) tail = file->MakeSubStream(static_cast<std::int64_t>(size) - 10, 10, true);
    }
    std::remove(path.c_str());
    if (tail) {
      tail->Reset();
      std::string end;
      tail->Read(end, -1);
      EXPECT_EQ(end, bytes.substr(size - 10)) << size;
    }
  }
}

// --- Flate -------------------------------------------------------------------------------------

struct TFlateCase {
  const char* Name;
  std::size_t Size;
  int Level;
  int Strategy;
};

const TFlateCase kFlateCases[] = {
    {"Empty", 0, 6, Z_DEFAULT_STRATEGY},       {"Small", 100, 6, Z_DEFAULT_STRATEGY},
    {"Dynamic", 300000, 9, Z_DEFAULT_STRATEGY}, {"Fixed", 200000, 6, Z_FIXED},
    {"Stored", 150000, 0, Z_DEFAULT_STRATEGY},  {"Huffman", 100000, 6, Z_HUFFMAN_ONLY},
    {"Rle", 120000, 6, Z_RLE},
};

class FlateRoundTrip : public ::testing::TestWithParam<TFlateCase> {};

TEST_P(FlateRoundTrip, DecodesWhatZlibWrote) {
  const auto& c = GetParam();
  const std::string data = Sample(c.Size, static_cast<unsigned>(c.Size));
  TkwFlateDecode flate(TkwMemoryStream::FromString(Deflate(data, c.Level, c.Strategy)));
  flate.Reset();
  std::string out;
  flate.Read(out, -1);
  EXPECT_EQ(out.size(), data.size());
  EXPECT_TRUE(out == data);
  EXPECT_EQ(flate.GetChar(), -1);
  // A second reset reads the same bytes again.
  flate.Reset();
  std::string again;
  flate.Read(again, -1);
  EXPECT_TRUE(again == data);
}

INSTANTIATE_TEST_SUITE_P(All, FlateRoundTrip, ::testing::ValuesIn(kFlateCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Flate, LongRunsAndFarDistances) {
  std::string data(70000, 'a');
  data += Sample(40000, 7);
  data += data.substr(0, 33000);
  TkwFlateDecode flate(TkwMemoryStream::FromString(Deflate(data, 9)));
  flate.Reset();
  std::string out;
  flate.Read(out, -1);
  EXPECT_TRUE(out == data);
}

// Rows of a smooth picture (nearly all literals), short-distance runs and long far matches,
// read through a filter whose window holds only a few hundred bytes, so that decoding hops
// between the bulk loop and the careful one at every window end, in every block type.
TEST(Flate, SmallSourceWindowsGiveTheSameBytes) {
  std::string data;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 300; ++x) {
      data += static_cast<char>(x * 255 / 300);
      data += static_cast<char>(y);
      data += static_cast<char>(77);
    }
  }
  for (int k = 0; k < 500; ++k) data += std::string(static_cast<std::size_t>(k % 9 + 1), static_cast<char>('a' + k % 5));
  data += data.substr(1000, 40000);
  for (const int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_RLE, Z_HUFFMAN_ONLY}) {
    static constexpr char kHex[] = "0123456789abcdef";
    const std::string z = Deflate(data, 6, strategy);
    std::string hex;
    for (const char c : z) {
      hex += kHex[static_cast<std::uint8_t>(c) >> 4];
      hex += kHex[static_cast<std::uint8_t>(c) & 15];
    }
    hex += '>';
    TkwFlateDecode flate(MakeRef<TkwASCIIHexDecode>(TkwMemoryStream::FromString(hex)));
    flate.Reset();
    std::string out;
    flate.Read(out, -1);
    EXPECT_EQ(out.size(), data.size()) << strategy;
    EXPECT_TRUE(out == data) << strategy;
  }
}

// Cut at each of the last bytes (where decoding leaves the bulk loop), the output is a prefix
// of the data and at most what the bytes before the cut can hold.
TEST(Flate, EveryCutNearTheEndGivesAPrefix) {
  const std::string data = Sample(30000, 11);
  const std::string z = Deflate(data, 9);
  for (std::size_t back = 1; back <= 40 && back < z.size(); ++back) {
    TkwFlateDecode flate(TkwMemoryStream::FromString(z.substr(0, z.size() - back)));
    flate.Reset();
    std::string out;
    flate.Read(out, -1);
    EXPECT_LE(out.size(), data.size()) << back;
    EXPECT_TRUE(data.compare(0, out.size(), out) == 0) << back;
    // Past the Adler-32 trailer and the end-of-block code (up to 15 bits), data is lost.
    if (back >= 8) {
      EXPECT_LT(out.size(), data.size()) << back;
    }
  }
}

// Streams read in part and reset hand their buffer on; streams decoding side by side, before
// and after, keep their own bytes.
TEST(Flate, InterleavedPartialReadsKeepTheirOwnBytes) {
  const std::string a = Sample(150000, 21), b = Sample(90000, 22);
  TkwFlateDecode first(TkwMemoryStream::FromString(Deflate(a, 6)));
  TkwFlateDecode second(TkwMemoryStream::FromString(Deflate(b, 1)));
  first.Reset();
  second.Reset();
  std::string partA, partB;
  first.Read(partA, 70000);
  second.Read(partB, 1000);
  first.Reset();  // its buffer goes back while the second one is still reading
  TkwFlateDecode third(TkwMemoryStream::FromString(Deflate(a, 9)));
  third.Reset();
  std::string all;
  third.Read(all, -1);
  second.Read(partB, -1);
  std::string again;
  first.Read(again, -1);
  EXPECT_TRUE(partA == a.substr(0, 70000));
  EXPECT_TRUE(all == a);
  EXPECT_TRUE(partB == b);
  EXPECT_TRUE(again == a);
}

TEST(Flate, BadHeaderReadsEmpty) {
  std::string z = Deflate("hello hello hello");
  for (std::string bad : {std::string("\x79") + z.substr(1), z.substr(0, 1) + "\x00" + z.substr(2),
                          std::string("\x78\xBB") + z.substr(2), std::string("x")}) {
    TkwFlateDecode flate(TkwMemoryStream::FromString(bad));
    flate.Reset();
    EXPECT_EQ(flate.LookChar(), -1);
  }
}

TEST(Flate, TruncatedDataGivesAPrefixThenEnd) {
  const std::string data = Sample(50000, 3);
  const std::string z = Deflate(data, 9);
  for (std::size_t cut : {z.size() / 2, z.size() - 12, std::size_t{3}}) {
    TkwFlateDecode flate(TkwMemoryStream::FromString(z.substr(0, cut)));
    flate.Reset();
    std::string out;
    flate.Read(out, -1);
    EXPECT_LT(out.size(), data.size());
    EXPECT_TRUE(data.compare(0, out.size(), out) == 0) << cut;
    EXPECT_EQ(flate.GetChar(), -1);
  }
}

TEST(Flate, CorruptBytesNeverThrowAndStayBounded) {
  std::mt19937 rng(5);
  const std::string z = Deflate(Sample(20000, 9), 9);
  for (int round = 0; round < 200; ++round) {
    std::string bad = z;
    for (int k = 0; k < 4; ++k) bad[2 + rng() % (bad.size() - 2)] = static_cast<char>(rng());
    TkwFlateDecode flate(TkwMemoryStream::FromString(bad));
    flate.Reset();
    std::string out;
    EXPECT_NO_THROW(flate.Read(out, -1));
    EXPECT_LE(out.size(), std::size_t{1} << 24);
  }
}

struct DecodeCapCase {
  const char* Name;
  std::int64_t Cap;
  std::size_t Size;  // of the decoded data
  bool Cut;
};

class DecodeCap : public ::testing::TestWithParam<DecodeCapCase> {};

TEST_P(DecodeCap, DataOverTheCapIsCutAndNoted) {
  const std::string data(GetParam().Size, 'z');
  TkwDiagnostics diag;
  TkwFlateDecode flate(TkwMemoryStream::FromString(Deflate(data)));
  flate.SetDiagnostics(&diag);
  flate.SetDecodeCap(GetParam().Cap);
  for (int pass = 0; pass < 2; ++pass) {  // noted once however often it is read
    flate.Reset();
    std::string out;
    flate.Read(out, -1);
    EXPECT_EQ(out.size(), std::min<std::size_t>(data.size(), static_cast<std::size_t>(GetParam().Cap)));
  }
  EXPECT_EQ(flate.GetCapReached(), GetParam().Cut);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcDecodeCapReached), GetParam().Cut ? 1 : 0);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcFilterError), 0);
}

INSTANTIATE_TEST_SUITE_P(Edges, DecodeCap,
                         ::testing::Values(DecodeCapCase{"below", 1000, 999, false},
                                           DecodeCapCase{"at", 1000, 1000, false},
                                           DecodeCapCase{"past", 1000, 1001, true},
                                           DecodeCapCase{"far_past_over_chunks", 70000, 300000, true}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(Flate, DamagedDataIsNotedOnceHoweverOftenItIsRead) {
  std::string bad = Deflate(std::string(5000, 'a'));
  bad.resize(bad.size() / 2);  // cut inside the block
  TkwDiagnostics diag;
  TkwFlateDecode flate(TkwMemoryStream::FromString(bad));
  flate.SetDiagnostics(&diag);
  flate.Reset();
  std::string out;
  flate.Read(out, -1);
  flate.Read(out, -1);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcFilterError), 1);
  flate.Reset();
  flate.Read(out, -1);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcFilterError), 1);
}

TEST(LZW, AnUndefinedCodeIsNoted) {
  for (const bool bad : {false, true}) {
    // 9-bit codes: 65 ('A'), then 65 again or the undefined 300, then 257 (end).
    const std::string data = bad ? std::string("\x20\xCB\x20\x20", 4) : std::string("\x20\x90\x60\x20", 4);
    TkwDiagnostics diag;
    TkwLZWDecode lzw(TkwMemoryStream::FromString(data), 1);
    lzw.SetDiagnostics(&diag);
    lzw.Reset();
    std::string out;
    lzw.Read(out, -1);
    EXPECT_EQ(out, bad ? "A" : "AA");
    EXPECT_EQ(diag.Count(TkwDiagCode::dcFilterError), bad ? 1 : 0);
  }
}

TEST(Flate, OutputStopsAtTheDecodeCap) {
  const std::string data(1 << 20, 'z');
  TkwFlateDecode flate(TkwMemoryStream::FromString(Deflate(data)));
  EXPECT_EQ(flate.GetDecodeCap(), kMaxDecodedBytes);
  flate.SetDecodeCap(1000);
  flate.Reset();
  std::string out;
  flate.Read(out, -1);
  EXPECT_EQ(out.size(), 1000u);
  EXPECT_TRUE(flate.GetCapReached());
}

// A finished stream gives up its buffers (documents keep thousands of streams): reading on
// past the end stays at the end, and a reset decodes the whole stream again.
TEST(Flate, FinishedStreamReadsAgainAfterReset) {
  const std::string data = Sample(200000, 11);
  TkwFlateDecode flate(TkwMemoryStream::FromString(Deflate(data, 6)));
  for (int pass = 0; pass < 2; ++pass) {
    flate.Reset();
    std::string out;
    flate.Read(out, -1);
    EXPECT_TRUE(out == data) << pass;
    EXPECT_EQ(flate.GetChar(), -1);
    EXPECT_EQ(flate.LookChar(), -1);
    out.clear();
    EXPECT_EQ(flate.Read(out, 10), 0u);
  }
}

TEST(Flate, ReadWithoutResetStillDecodes) {
  TkwFlateDecode flate(TkwMemoryStream::FromString(Deflate("abc")));
  EXPECT_EQ(flate.GetChar(), 'a');
}

// --- chains through the filter manager --------------------------------------------------------

std::string Ascii85(std::string_view AData) {
  std::string out;
  std::size_t i = 0;
  for (; i + 4 <= AData.size(); i += 4) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = v << 8 | static_cast<std::uint8_t>(AData[i + k]);
    if (v == 0) {
      out += 'z';
      continue;
    }
    char g[5];
    for (int k = 4; k >= 0; --k) {
      g[k] = static_cast<char>('!' + v % 85);
      v /= 85;
    }
    out.append(g, 5);
  }
  const std::size_t rest = AData.size() - i;
  if (rest > 0) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      v = v << 8 | (k < rest ? static_cast<std::uint8_t>(AData[i + k]) : 0u);
    }
    char g[5];
    for (int k = 4; k >= 0; --k) {
      g[k] = static_cast<char>('!' + v % 85);
      v /= 85;
    }
    out.append(g, rest + 1);
  }
  return out + "~>";
}

TEST(FilterChain, ArrayOrderIsDecodingOrder) {
  const std::string data = Sample(5000, 11);
  EXPECT_TRUE(Decode("<< /Filter [/ASCII85Decode /FlateDecode] >>", Ascii85(Deflate(data))) == data);
  EXPECT_TRUE(Decode("<< /F [/A85 /Fl] >>", Ascii85(Deflate(data))) == data);
}

TEST(FilterChain, EmptyParametersCountAsNone) {
  const std::string data = Sample(3000, 12);
  EXPECT_TRUE(Decode("<< /Filter [/FlateDecode] /DecodeParms [<< >>] >>", Deflate(data)) == data);
  EXPECT_TRUE(Decode("<< /Filter /FlateDecode /DecodeParms [] >>", Deflate(data)) == data);
  EXPECT_TRUE(Decode("<< /Filter /FlateDecode /DecodeParms null /DP null >>", Deflate(data)) == data);
}

TEST(FilterChain, NoFilterPassesTheDataThrough) {
  EXPECT_EQ(Decode("<< /Length 3 >>", "abc"), "abc");
}

// The document decrypts under the chain, so a Crypt entry, whatever crypt filter it names,
// hands the bytes on to the next filter as they are.
TEST(FilterChain, CryptEntriesHandTheDataOn) {
  EXPECT_EQ(Decode("<< /Filter /Crypt >>", "abc"), "abc");
  EXPECT_EQ(Decode("<< /Filter /Crypt /DecodeParms << /Name /StdCF >> >>", "abc"), "abc");
  EXPECT_EQ(Decode("<< /Filter [/Crypt /AHx] /DecodeParms [<< /Name /Identity >> null] >>", "616263>"),
            "abc");
  EXPECT_EQ(Decode("<< /Filter [/AHx /Crypt] >>", "616263>"), "abc");
}

TEST(FilterChain, UnknownFilterHidesDataFromLookCharButNotGetChar) {
  auto parser = std::make_unique<TkwPDParser>(
      nullptr, std::make_unique<TkwPDLexer>(TkwMemoryStream::FromString("<< /Filter /Foo >>")), false);
  auto obj = parser->GetObject();
  std::unique_ptr<TkwPDDictionary> dict(static_cast<TkwPDDictionary*>(obj.release()));
  auto stream = TkwPDFilterManager::GetFilter(std::move(dict), TkwMemoryStream::FromString("raw"));
  stream->Reset();
  TkwStream* s = stream->GetStream();
  EXPECT_EQ(s->GetType(), TkwStreamType::stWeird);
  EXPECT_EQ(s->LookChar(), -1);
  EXPECT_EQ(s->GetChar(), 'r');
  EXPECT_EQ(s->GetChar(), 'a');
  EXPECT_EQ(s->GetChar(), 'w');
  EXPECT_EQ(s->GetChar(), -1);
  EXPECT_EQ(s->GetSize(), 0);
  s->Reset();
  std::string bulk;
  EXPECT_EQ(s->Read(bulk, 10), 0u);
  // A non-name element stops the chain the same way.
  EXPECT_EQ(Decode("<< /Filter [/AHx 5 /A85] >>", "41>"), "");
}

// A source whose every read fails, as a broken decrypting stream would.
class TThrowingStream final : public TkwStream {
public:
  void Reset() override { throw std::runtime_error("broken"); }
  std::int64_t GetPosition() const override { return 0; }
  TkwStreamType GetType() const override { return TkwStreamType::stCrypt; }

protected:
  bool Refill() override { throw std::runtime_error("broken"); }
};

TEST(FilterChain, FailuresOfTheChainBecomeInvalidStream) {
  auto dict = std::make_unique<TkwPDDictionary>();
  dict->Add("Filter", std::make_unique<TkwPDName>("FlateDecode"));
  auto stream = TkwPDFilterManager::GetFilter(std::move(dict), TkwRef<TkwStream>(new TThrowingStream));
  EXPECT_THROW(stream->Reset(), ExInvalidStream);
  EXPECT_THROW((void)stream->ReadAll(), ExInvalidStream);
  EXPECT_THROW(TkwFlateDecode(TkwRef<TkwStream>()), ExInvalidStream);
}

TEST(FilterChain, NilArgumentsRaise) {
  EXPECT_THROW(TkwPDFilterManager::GetFilter(nullptr, TkwMemoryStream::FromString("")),
               ExInvalidObject);
  EXPECT_THROW(TkwPDFilterManager::GetFilter(std::make_unique<TkwPDDictionary>(), nullptr),
               ExInvalidStream);
}

// --- the small decoders ------------------------------------------------------------------------

struct TSimpleCase {
  const char* Name;
  const char* Filter;
  std::string Input;
  std::string Expected;
};

const TSimpleCase kSimpleCases[] = {
    {"HexPairs", "AHx", "48 65\n6c6C 6F>", "Hello"},
    {"HexOddDigitBeforeEnd", "AHx", "4F6>", std::string("\x4F\x60")},
    {"HexNonDigitCountsZero", "AHx", "4G>", std::string("\x40")},
    {"HexEndsAtMarker", "AHx", "41>42", "A"},
    {"HexNoMarkerNoExtraByte", "AHx", "4142", "AB"},
    {"HexNoMarkerOddDigit", "AHx", "414", std::string("A\x40")},
    {"A85Text", "A85", "87cURD]i,\"Ebo7~>", "Hello World"},
    {"A85Zero", "A85", "z~>", std::string(4, '\0')},
    {"A85WhiteSpace", "A85", "87cUR D]i,\n\"Ebo7", "Hello World"},
    {"A85LoneLastChar", "A85", "87cURD~>", "Hell"},
    {"RunLength", "RL", std::string("\x02" "abc" "\xFE" "z" "\x80" "ignored"), "abczzz"},
    {"RunLengthTruncatedCopy", "RL", std::string("\x05" "ab"), "ab"},
    {"RunLengthLongRepeat", "RL", std::string("\x81" "q"), std::string(128, 'q')},
};

class SimpleDecoders : public ::testing::TestWithParam<TSimpleCase> {};

TEST_P(SimpleDecoders, Decode) {
  const auto& c = GetParam();
  EXPECT_EQ(Decode(std::string("<< /Filter /") + c.Filter + " >>", c.Input), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(All, SimpleDecoders, ::testing::ValuesIn(kSimpleCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SimpleDecoders, Ascii85RoundTripOfBinary) {
  std::string data = Sample(10007, 13);
  data += std::string(8, '\0');
  EXPECT_TRUE(Decode("<< /Filter /ASCII85Decode >>", Ascii85(data)) == data);
}

// --- LZW ---------------------------------------------------------------------------------------

// Writes LZW codes as PDF producers do, so the decoder can be checked against it.
std::string Lzw(std::string_view AData, int AEarly = 1, bool AClearWhenFull = true) {
  std::string out;
  std::uint32_t acc = 0;
  int accBits = 0;
  int width = 9;
  auto emit = [&](int ACode) {
    acc = (acc << width) | static_cast<std::uint32_t>(ACode);
    accBits += width;
    while (accBits >= 8) {
      out += static_cast<char>((acc >> (accBits - 8)) & 0xFF);
      accBits -= 8;
    }
    acc &= (1u << accBits) - 1;
  };
  auto widthFor = [&](int ANext) {
    const int n = ANext - 1 + AEarly;
    return n >= 2048 ? 12 : n >= 1024 ? 11 : n >= 512 ? 10 : 9;
  };
  std::map<std::string, int> table;
  auto clear = [&]() {
    table.clear();
    for (int i = 0; i < 256; ++i) table[std::string(1, static_cast<char>(i))] = i;
  };
  clear();
  int next = 258;
  emit(256);
  std::string w;
  for (char ch : AData) {
    std::string wc = w + ch;
    if (table.count(wc)) {
      w = wc;
      continue;
    }
    width = widthFor(next);
    emit(table[w]);
    if (next < 4096) {
      table[wc] = next++;
    } else if (AClearWhenFull) {
      width = 12;
      emit(256);
      clear();
      next = 258;
    }
    w = std::string(1, ch);
  }
  if (!w.empty()) {
    width = widthFor(next);
    emit(table[w]);
    if (next < 4096) ++next;
  }
  width = widthFor(next);
  emit(257);
  if (accBits > 0) out += static_cast<char>((acc << (8 - accBits)) & 0xFF);
  return out;
}

TEST(LZW, RoundTripWithBothEarlyChanges) {
  for (int early : {1, 0}) {
    const std::string data = Sample(60000, 17);
    const std::string dict = early ? "<< /Filter /LZWDecode >>"
                                   : "<< /Filter /LZW /DecodeParms << /EarlyChange 0 >> >>";
    EXPECT_TRUE(Decode(dict, Lzw(data, early)) == data) << early;
  }
}

TEST(LZW, FullTableWithoutClearKeepsTwelveBits) {
  const std::string data = Sample(80000, 19);
  EXPECT_TRUE(Decode("<< /Filter /LZWDecode >>", Lzw(data, 1, false)) == data);
}

TEST(LZW, UndefinedCodeEndsTheData) {
  // 9-bit codes: 'A' (65), then 300 which is beyond the next free code.
  std::string bits;
  auto put = [&](int ACode) {
    for (int b = 8; b >= 0; --b) bits += ((ACode >> b) & 1) ? '1' : '0';
  };
  put(65);
  put(300);
  put(66);
  while (bits.size() % 8) bits += '0';
  std::string bytes;
  for (std::size_t i = 0; i < bits.size(); i += 8) {
    bytes += static_cast<char>(std::stoi(bits.substr(i, 8), nullptr, 2));
  }
  EXPECT_EQ(Decode("<< /Filter /LZWDecode >>", bytes), "A");
}

// --- predictors --------------------------------------------------------------------------------

std::uint8_t PaethRef(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// PNG-encodes rows of ARowBytes with bytes-per-pixel ABpp, row types cycling through ATypes.
std::string PngEncode(const std::string& AData, int ARowBytes, int ABpp, std::vector<int> ATypes) {
  std::string out;
  std::string prev(static_cast<std::size_t>(ARowBytes), '\0');
  for (std::size_t r = 0; r * static_cast<std::size_t>(ARowBytes) < AData.size(); ++r) {
    const std::string row = AData.substr(r * static_cast<std::size_t>(ARowBytes), static_cast<std::size_t>(ARowBytes));
    const int type = ATypes[r % ATypes.size()];
    out += static_cast<char>(type);
    for (int i = 0; i < ARowBytes; ++i) {
      const int x = static_cast<std::uint8_t>(row[static_cast<std::size_t>(i)]);
      const int a = i >= ABpp ? static_cast<std::uint8_t>(row[static_cast<std::size_t>(i - ABpp)]) : 0;
      const int b = static_cast<std::uint8_t>(prev[static_cast<std::size_t>(i)]);
      const int c = i >= ABpp ? static_cast<std::uint8_t>(prev[static_cast<std::size_t>(i - ABpp)]) : 0;
      int pred = 0;
      if (type == 1) pred = a;
      if (type == 2) pred = b;
      if (type == 3) pred = (a + b) / 2;
      if (type == 4) pred = PaethRef(a, b, c);
      out += static_cast<char>((x - pred) & 0xFF);
    }
    prev = row;
  }
  return out;
}

TEST(Predictor, PngRowTypesUndone) {
  const int columns = 5, colors = 3;
  const int rowBytes = columns * colors;
  const std::string data = Sample(static_cast<std::size_t>(rowBytes) * 40, 23);
  for (int predictor = 10; predictor <= 15; ++predictor) {
    const std::string encoded = PngEncode(data, rowBytes, colors, {0, 1, 2, 3, 4});
    const std::string dict = "<< /Filter /FlateDecode /DecodeParms << /Predictor " +
                             std::to_string(predictor) + " /Colors 3 /Columns 5 >> >>";
    EXPECT_TRUE(Decode(dict, Deflate(encoded)) == data) << predictor;
  }
}

TEST(Predictor, Png15RowsAreSevenBytesForTwoRgbPixels) {
  // Two rows of two RGB pixels: type byte + 6 bytes each.
  const std::string raw = std::string("\x00" "\x01\x02\x03\x04\x05\x06", 7) +
                          std::string("\x02" "\x01\x01\x01\x01\x01\x01", 7);
  const std::string out = Decode(
      "<< /Filter /FlateDecode /DecodeParms << /Predictor 15 /Colors 3 /BitsPerComponent 8 "
      "/Columns 2 >> >>",
      Deflate(raw));
  EXPECT_EQ(out, std::string("\x01\x02\x03\x04\x05\x06\x02\x03\x04\x05\x06\x07", 12));
}

TEST(Predictor, PartialLastRowIsDropped) {
  const std::string raw = std::string("\x00" "abc", 4) + std::string("\x00" "d", 2);
  EXPECT_EQ(Decode("<< /Filter /Fl /DecodeParms << /Predictor 12 /Columns 3 >> >>", Deflate(raw)),
            "abc");
}

TEST(Predictor, TiffEightBitsAndNarrowComponents) {
  // 8-bit RGB: each byte adds the one three bytes to its left.
  const std::string tiff8 = std::string("\x10\x20\x30\x01\x01\x01", 6);
  EXPECT_EQ(Decode("<< /Filter /Fl /DecodeParms << /Predictor 2 /Colors 3 /Columns 2 >> >>",
                   Deflate(tiff8)),
            std::string("\x10\x20\x30\x11\x21\x31", 6));
  // 1-bit gray, 8 columns: differences 1,0,0,1,0,0,0,0 give 1,1,1,0,0,0,0,0.
  EXPECT_EQ(Decode("<< /Filter /Fl /DecodeParms << /Predictor 2 /BitsPerComponent 1 /Columns 8 >> >>",
                   Deflate("\x90")),
            "\xE0");
  // 4-bit gray, 4 columns: 1,2,15,1 -> 1,3,2,3 (mod 16).
  EXPECT_EQ(Decode("<< /Filter /Fl /DecodeParms << /Predictor 2 /BitsPerComponent 4 /Columns 4 >> >>",
                   Deflate("\x12\xF1")),
            "\x13\x23");
}

TEST(Predictor, UnusableParametersGiveTheRawBytes) {
  const std::string raw = "\x02" "abc";
  for (const char* parms : {"/Predictor 12 /Columns 0", "/Predictor 12 /Colors -1",
                            "/Predictor 12 /Columns 2147483647 /Colors 4",
                            "/Predictor 12 /BitsPerComponent 0"}) {
    EXPECT_EQ(Decode(std::string("<< /Filter /Fl /DecodeParms << ") + parms + " >> >>", Deflate(raw)),
              raw)
        << parms;
  }
}

TEST(Predictor, XrefStreamShapeWithOneElementArray) {
  // Seen in the wild: a Filter array with a plain parameter dictionary.
  const std::string rows = PngEncode(std::string("\x01\x00\x10\x00\x01\x00\x20\x00", 8), 4, 1, {2});
  EXPECT_EQ(Decode("<< /Filter [/FlateDecode] /DecodeParms << /Predictor 12 /Columns 4 >> >>",
                   Deflate(rows)),
            std::string("\x01\x00\x10\x00\x01\x00\x20\x00", 8));
}

}  // namespace
}  // namespace qm
