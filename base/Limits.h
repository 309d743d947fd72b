#pragma once

#include <cstdint>

// Every bound that a loop over file data obeys lives here, so that a reviewer finds all
// of them in one place. Each has a test with input built to exceed it.
namespace qm {

// Objects and syntax
inline constexpr int kMaxObjectDepth = 256;            // nested arrays and dictionaries
inline constexpr std::int64_t kMaxStringBytes = std::int64_t{64} << 20;   // one literal or hex string
inline constexpr std::int64_t kMaxNameBytes = 65536;   // one name or keyword token
inline constexpr int kMaxSyntaxErrorsPerPage = 200;    // content errors before the rest of a page is dropped
inline constexpr int kMaxOperands = 4096;              // operands collected before one operator

// Cross-reference and documents
inline constexpr int kMaxXRefSections = 1024;          // Prev chain length
inline constexpr std::int64_t kMaxObjectNumber = 8'388'607;  // highest object number accepted
inline constexpr int kMaxObjectsInObjStream = 100'000; // N of one object stream
inline constexpr int kMaxIndirectDepth = 64;           // references resolved through references

// Streams and decoders
inline constexpr std::int64_t kMaxDecodedBytes = std::int64_t{512} << 20;  // one decoded stream
inline constexpr int kMaxFilters = 16;                 // filters in one chain
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{256} << 20;    // width × height of one image
inline constexpr int kMaxImageComponents = 32;
inline constexpr std::int64_t kMaxPredictorRowBytes = std::int64_t{64} << 20;  // one predictor row

// Page tree and content
inline constexpr int kMaxPageTreeDepth = 256;
inline constexpr std::int64_t kMaxPages = 1'000'000;
inline constexpr int kMaxFormDepth = 32;               // Do inside Do
inline constexpr int kMaxStateDepth = 256;             // q nesting
inline constexpr int kMaxResourceDepth = 64;           // inherited Resources lookups

// Fonts and functions
inline constexpr int kMaxCMapDepth = 16;               // usecmap chains
inline constexpr int kMaxCMapRanges = 1'000'000;
inline constexpr std::int64_t kMaxCMapBytes = std::int64_t{32} << 20;  // one CMap file or stream
inline constexpr std::int64_t kMaxFontProgramBytes = std::int64_t{64} << 20;  // one embedded font
inline constexpr int kMaxFunctionDepth = 16;           // stitching inside stitching
inline constexpr int kMaxPostScriptStack = 100;
inline constexpr int kMaxPostScriptOps = 100'000;      // operators run by one evaluation

}  // namespace qm
