#include "viewer/TyakuLayout.h"

#include <cmath>

namespace viewer {
namespace {

// A single-precision value set as twips.
int twips(float value)
{
    return int(std::lround(value));
}

} // namespace

TyakuLayout layOutTyakuForm(const TyakuLayoutInput &in)
{
    const float W = in.width;
    const float H = in.height;
    TyakuLayout out;
    out.listWidth = twips(0.99f * W);
    out.listHeight = twips(0.25f * H);
    out.headerTop = twips(float(out.listHeight) + 940.0f);
    out.stripWidth = twips(W);
    out.bodyWidth = twips(0.99f * W);
    out.bodyTop = twips(float(out.listHeight) + 1300.0f);
    out.subjectWidth = twips(0.5f * W);
    out.senderWidth = twips(0.3f * W);
    out.dateWidth = twips(0.2f * W);
    out.subjectLeft = in.bodyLeft - 15;
    out.senderLeft = out.subjectLeft + out.subjectWidth;
    out.dateLeft = out.senderLeft + out.senderWidth;
    // Text6 follows the button's place from before the button is moved.
    out.copyBoxLeft = in.command1Left + 3380;
    out.copyBoxTop = in.statusBarTop + 80;
    out.copyButtonLeft = in.statusBarLeft + 1880;
    out.copyButtonTop = in.statusBarTop + 80;
    out.bodyHeight = twips((H - float(out.listHeight)) * 0.62f);
    if (in.maximised) {
        out.copyBoxTop = twips(H - 1000.0f);
        out.copyButtonTop = twips(H - 980.0f);
    }
    return out;
}

} // namespace viewer
