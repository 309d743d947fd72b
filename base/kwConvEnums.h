#pragma once

#include <cstdint>
#include <functional>

#include "base/kwObject.h"
#include "base/kwElementKind.h"

// Enumerations and event types that the converter, the formatter and the application
// share. They live below every stage so that the formatter can use them without
// depending on the converter.
namespace qm {

// How side-by-side text is laid out: plain paragraphs, or tab stops.
enum class TkwFormattingMode : std::uint8_t { fmFormatted, fmFormattedWithTabs };

// What happens to a detected layout element: keep it, leave empty space of its size, drop it.
enum class TkwAction : std::uint8_t { acRetain, acLeaveSpace, acDelete };

class TkwFormatterElement;            // formatter/kwFormatterElements.h
class TkwFontSubstitutionEventArgs;   // formatter/kwFormatterElements.h

// Formatter events; the converter stores them and hands them to each job's formatter.
using TkwOnElementDetected =
    std::function<void(TkwObject& ASender, TkwFormatterElement& AElement, TkwAction& AAction)>;
using TkwOnFontSubstituting =
    std::function<void(TkwObject& ASender, TkwFontSubstitutionEventArgs& AArgs)>;

}  // namespace qm
