#pragma once

#include <QString>

namespace viewer {

// The editor state that the viewer and the composer share for the whole run:
// the file that "New" saves to, whether the viewer's body text changed since
// it was last saved, and the counters that decide whether the next Bold,
// Italic or Underline press switches its style on or off.
struct EditorState
{
    QString CurrentEditorFile;
    bool EditorChanged = false;
    qint16 BoldToggleCount = 0, ItalicToggleCount = 0, UnderlineToggleCount = 0;
};

// The process's editor state.
EditorState &editorState();

// Advances a style toggle counter and returns whether the style is now on: an
// odd count switches it off (count 2), an even one on (count 1). The counter,
// not the font, decides, so the first press of a run always switches it on.
bool advanceStyleToggle(qint16 &count);

} // namespace viewer
