#include "editor/EditorState.h"

namespace viewer {

EditorState &editorState()
{
    static EditorState state;
    return state;
}

bool advanceStyleToggle(qint16 &count)
{
    if (count % 2 != 0) {
        count = 2;
        return false;
    }
    count = 1;
    return true;
}

} // namespace viewer
