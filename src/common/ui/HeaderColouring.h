#pragma once

class QTreeView;

namespace common {

// Colours the column header of a report-style list: every section painted
// RGB(58, 119, 165) with its text in white, one line, vertically centred and
// 5 pixels in from the left, framed by a soft raised edge that goes flat while
// the section is pressed. Each list keeps what it had before for its own
// removal, so several lists can be coloured at once and uncoloured in any
// order. Installing on a coloured list and removing from an uncoloured one do
// nothing.
void InstallHeaderColouring(QTreeView *list);
void RemoveHeaderColouring(QTreeView *list);

// True while list's header is coloured.
[[nodiscard]] bool headerColouringInstalled(const QTreeView *list);

} // namespace common
