#pragma once

#include <QByteArray>

// Looks at a received message's raw text before GMime parses it: how deeply it
// may nest, and the folding mistakes mended first. Only the MIME parse uses this.
namespace maillib::detail {

// Counts the multipart and message containers a message declares, so that a
// message built to nest thousands of levels never reaches the parser.
[[nodiscard]] int countContainers(const QByteArray &raw);

// Some mailers fold a Content-Type or Content-Disposition field without the
// leading white space a continuation needs ("boundary=..." on a line of its
// own). Such lines are indented so that the parser reads them as the
// continuation they were meant to be. raw itself, not a copy, when nothing
// needed mending.
[[nodiscard]] QByteArray withParameterLinesIndented(const QByteArray &raw);

} // namespace maillib::detail
