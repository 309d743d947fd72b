#pragma once

namespace qm {

class TkwPDDocument;
class TkwPDExportDevice;

// Plays page APageNum (1-based) of the document into the device: the page's content
// streams with its resources, then the visible widget appearances. A page that cannot be
// found plays nothing; a page without contents still starts and ends, so that every page
// of the document reaches the device.
void DisplayPage(TkwPDDocument& ADoc, TkwPDExportDevice& ADev, int APageNum, double AhDPI,
                 double AvDPI, int ARotate, bool AUseMediaBox, bool ACrop, bool APrinting,
                 bool ARenderAnnots);

// Installs the resource factories of fonts, colour spaces, graphics states and images in
// the document (those it has already are kept); DisplayPage calls it, callers that look
// resources up earlier may too.
void RegisterContentFactories(TkwPDDocument& ADoc);

}  // namespace qm
