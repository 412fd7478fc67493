#pragma once

namespace viewer {

// Where the viewer's layout pass starts from, in twips: the window's size, the
// places it keeps from before the pass and whether it is maximised.
struct TyakuLayoutInput
{
    float width = 0;          // W
    float height = 0;         // H
    bool maximised = false;
    int bodyLeft = 0;         // the body pane keeps its left
    int command1Left = 0;     // the header copy button's left before this pass
    int statusBarLeft = 0;
    int statusBarTop = 0;
};

// The places the layout pass sets, in twips. Computed in single precision as
// the window has always done, then set as whole twips.
struct TyakuLayout
{
    int listWidth = 0, listHeight = 0;  // MailListView; its top stays 960
    int headerTop = 0;                  // Text7, Text8, Text9
    int stripWidth = 0;                 // Picture1 behind the tool bar
    int bodyWidth = 0, bodyTop = 0, bodyHeight = 0; // rtfEd
    int subjectLeft = 0, subjectWidth = 0;          // Text7
    int senderLeft = 0, senderWidth = 0;            // Text8
    int dateLeft = 0, dateWidth = 0;                // Text9
    int copyBoxLeft = 0, copyBoxTop = 0;            // Text6
    int copyButtonLeft = 0, copyButtonTop = 0;      // Command1
};

[[nodiscard]] TyakuLayout layOutTyakuForm(const TyakuLayoutInput &in);


} // namespace viewer
