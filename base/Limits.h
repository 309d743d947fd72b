#pragma once

#include <cstddef>
#include <cstdint>

// Every bound that a loop over file data obeys lives here, so that a reviewer finds all
// of them in one place. Each has a test with input built to reach it and to exceed it.
// Constants that a format itself fixes (a deflate window, a Huffman code length) stay
// with their decoder.
namespace qm {

// Objects and syntax
inline constexpr int kMaxObjectDepth = 256;            // nested arrays and dictionaries
inline constexpr std::int64_t kMaxStringBytes = std::int64_t{64} << 20;   // one literal or hex string
inline constexpr std::size_t kMaxNameBytes = 127;      // one name, number or keyword token; longer ones split
inline constexpr std::size_t kMaxHeaderOffset = 1024;  // leading bytes searched for "%PDF-"
inline constexpr std::size_t kMaxStartXRefSearch = 1024;  // trailing bytes searched for "startxref"

// Cross-reference and documents
inline constexpr int kMaxXRefSections = 1024;          // Prev chain length
inline constexpr std::int64_t kMaxObjectNumber = 8'388'607;  // highest object number accepted
inline constexpr int kMaxObjectsInObjStream = 100'000; // N of one object stream
inline constexpr int kMaxIndirectDepth = 64;           // references resolved through references

// Streams and decoders
inline constexpr std::int64_t kMaxDecodedBytes = std::int64_t{512} << 20;  // one decoder of a chain
inline constexpr std::int64_t kMaxDecodedBytesSmallFile = std::int64_t{1} << 30;  // one stream object of a small file
inline constexpr std::int64_t kDecodeScaledFileBytes = std::int64_t{10} << 20;  // files larger than this ...
inline constexpr std::int64_t kMaxDecodeRatio = 100;   // ... decode each stream object to this many times their size
inline constexpr int kMaxFilters = 16;                 // filters in one chain
inline constexpr std::int64_t kMaxPredictorRowBytes = std::int64_t{64} << 20;  // one predictor row
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{256} << 20;    // width × height of one image
inline constexpr int kMaxImageDimension = 1 << 16;     // width or height of one decoded image
inline constexpr int kMaxImageComponents = 32;         // components of one JPEG 2000 picture
inline constexpr std::int64_t kMaxJpegBytes = std::int64_t{256} << 20;     // one JPEG passed on undecoded
inline constexpr int kMaxJpegScans = 1000;             // scans of one progressive JPEG
inline constexpr int kMaxJpegPaddingBits = 256;        // bits used past a scan's data before it is abandoned
inline constexpr int kMaxJBIG2Dimension = 1 << 16;     // width or height of one JBIG2 page or region
inline constexpr std::uint32_t kMaxJBIG2Symbols = 1u << 20;  // symbols of one dictionary, instances of one text region
inline constexpr int kMaxJBIG2Segments = 1 << 16;      // segments of one JBIG2 stream
inline constexpr std::uint32_t kMaxJBIG2TableLines = 1u << 16;  // lines of one Huffman table segment
inline constexpr int kMaxJBIG2BytesPastEnd = 16;       // bytes the MQ decoder feeds past its data
inline constexpr std::int64_t kMaxJBIG2WorkPixels = std::int64_t{8} * kMaxImagePixels;  // pixels one stream allocates or combines
inline constexpr std::int64_t kMaxJPXTiles = 16384;    // tiles announced by one JPEG 2000 header
inline constexpr std::int64_t kMaxJPXCodeBlocks = std::int64_t{1} << 20;  // code-blocks announced by one header

// Page tree and content
inline constexpr int kMaxPageTreeDepth = 256;
inline constexpr std::int64_t kMaxPages = 1'000'000;    // pages collected from one tree
inline constexpr std::int64_t kMaxPageTreeNodes = 2'000'000;  // nodes visited walking one tree
inline constexpr int kMaxFormDepth = 32;               // Do inside Do
inline constexpr int kMaxStateDepth = 256;             // q nesting
inline constexpr int kMaxSyntaxErrorsPerPage = 200;    // content errors before the rest of a page is dropped
inline constexpr int kMaxOperands = 32;                // operands kept before one operator; more are dropped
inline constexpr int kMaxMarkedDepth = 1 << 16;        // BMC/BDC nesting counted
inline constexpr std::size_t kMaxActualText = 4096;    // UTF-16 units of one ActualText
inline constexpr int kMaxInlineImageEntries = 4096;    // keys read before ID of one inline image
// The work budget of one page: past any of these the page ends with what it has drawn.
// A dense real page runs some ten thousand operators and glyphs; these leave it a hundred
// times that, and keep a page of copies or of forms fanned out inside forms to seconds.
inline constexpr std::int64_t kMaxPageOperators = 4'000'000;   // operators run, forms included
inline constexpr std::int64_t kMaxPageFormsEntered = 100'000;  // forms played
inline constexpr std::int64_t kMaxPageGlyphs = 500'000;        // glyphs drawn
inline constexpr std::int64_t kMaxPagePaths = 1'000'000;       // paths painted or clipped
inline constexpr std::int64_t kMaxPagePictureBytes = std::int64_t{128} << 20;  // 24-bit pixel bytes of the pictures placed
inline constexpr std::int64_t kMaxImageCacheBytes = std::int64_t{64} << 20;   // decoded pictures kept for reuse on one page
inline constexpr std::size_t kMaxPlacedImagesKept = 65'536;  // image placements remembered to drop repeats on one page

// Fonts and character maps
inline constexpr int kMaxCMapDepth = 16;               // usecmap chains
inline constexpr int kMaxCMapRanges = 1'000'000;
inline constexpr std::int64_t kMaxCMapBytes = std::int64_t{32} << 20;  // one CMap file or stream
inline constexpr std::size_t kMaxCMapTokenBytes = 256; // one CMap token; the rest is dropped
inline constexpr std::int64_t kMaxCMapTextsPerRange = 256;  // codes of one bfrange given an array of texts
inline constexpr std::int64_t kMaxFontProgramBytes = std::int64_t{64} << 20;  // one embedded font
inline constexpr std::size_t kMaxGlyphBoxes = 200'000;  // glyph boxes one job keeps measured
inline constexpr std::size_t kMaxRotatedLinesKept = 256;  // rotated lines laid upright whose places a new one avoids

// Colour spaces and functions
inline constexpr int kMaxColorComps = 32;              // components of one colour, colour space or image
inline constexpr int kMaxColorSpaceDepth = 8;          // spaces inside spaces (Indexed over ICCBased, ...)
inline constexpr std::int64_t kMaxIndexedLookupBytes = 256 * kMaxColorComps;  // lookup table of one Indexed space
inline constexpr int kMaxFunctionDepth = 8;            // functions inside stitching functions
inline constexpr int kMaxFunctionArgs = 32;            // inputs or outputs of one function
inline constexpr std::size_t kMaxStitchedFunctions = 256;  // functions of one stitching function
inline constexpr std::int64_t kMaxSampleValues = 1 << 21;  // sample points × outputs of one sampled function
inline constexpr std::int64_t kMaxPostScriptBytes = 1 << 20;  // text of one calculator program
inline constexpr int kMaxPostScriptNesting = 100;      // braces inside braces
inline constexpr std::size_t kMaxPostScriptStack = 100;  // operand stack of one evaluation
inline constexpr std::size_t kMaxPostScriptOps = 100'000;  // operators run by one evaluation

// Layout, output and the job
inline constexpr int kMaxFillers = 2000;               // empty paragraphs that fill one page's gaps
inline constexpr int kMaxSpacesBetweenRuns = 200;      // spaces between two runs of one table cell
inline constexpr std::int64_t kMaxRasterPixels = std::int64_t{64} << 20;  // width × height of one bitmap made for output
inline constexpr std::size_t kMaxPreparedPictures = 64;  // pictures of one page waiting to be placed
inline constexpr std::size_t kMaxPathsPerPage = 100'000;  // painted paths one page hands the layout
inline constexpr int kMaxDrawingPicturePixels = 4000;     // width or height of one picture made of drawing
inline constexpr std::size_t kMaxDrawingPictures = 64;    // pictures one page's drawing makes; the rest join the last
inline constexpr std::size_t kMaxRotatedLinesHeld = 2000;  // rotated lines of one page kept to draw into pictures; later ones are laid upright
inline constexpr double kMaxDrawingCoordinate = 1e6;      // points; a path reaching further is dropped
inline constexpr std::size_t kMaxPictureBytesInFlight = std::size_t{64} << 20;  // pixel bytes queued for encoding
inline constexpr std::size_t kMaxRegisteredTempFiles = 64;  // temporary files a second Ctrl-C removes
inline constexpr std::int64_t kMaxFontCacheBytes = 16 << 20;  // the font cache file read at start
inline constexpr std::size_t kMaxKeptDiagnostics = 10'000;    // notes kept of one job (all are counted)
inline constexpr std::size_t kMaxDiagnosticLines = 40;         // lines that describe one job's notes
inline constexpr std::size_t kMaxDiagnosticPageRuns = 8;       // page ranges listed on one such line

}  // namespace qm
