#include "ui/balloon_geometry.h"

#include <algorithm>

int GetBalloonPlacement(BalloonPoint anchor, const BalloonRect& rcWork)
{
    const bool bUpper = anchor.y < rcWork.top + rcWork.Height() / 2;
    const bool bLeft = anchor.x < rcWork.left + rcWork.Width() / 2;
    if (bUpper)
        return bLeft ? BALLOON_BELOW_TAIL_LEFT : BALLOON_BELOW_TAIL_RIGHT;
    return bLeft ? BALLOON_ABOVE_TAIL_LEFT : BALLOON_ABOVE_TAIL_RIGHT;
}

BalloonSize GetBalloonWindowSize(BalloonSize header, BalloonSize content)
{
    const int cxClient = std::max(header.cx, content.cx);
    const int cyClient = header.cy + BALLOON_MARGIN + content.cy;
    return {cxClient + 2 * BALLOON_MARGIN, cyClient + 2 * BALLOON_MARGIN + BALLOON_TAIL_HEIGHT};
}

int GetBalloonContentWrapWidth(const BalloonRect& rcWork)
{
    return rcWork.Width() - rcWork.Width() / 2;
}

BalloonLayout LayoutBalloon(BalloonPoint anchor, const BalloonRect& rcWork, BalloonSize window)
{
    BalloonLayout layout{};
    layout.nPlacement = GetBalloonPlacement(anchor, rcWork);
    layout.size = window;
    const int W = window.cx;
    const int H = window.cy;
    // C++ division truncates toward zero, as a too narrow window needs.
    const int q = (W - BALLOON_TAIL_WIDTH) / 4;
    const bool bTailRight =
        layout.nPlacement == BALLOON_BELOW_TAIL_RIGHT || layout.nPlacement == BALLOON_ABOVE_TAIL_RIGHT;
    // The base overlaps the body by a pixel, so no seam shows between them.
    int yBase = BALLOON_TAIL_HEIGHT + 1;
    int yTip = 1;
    if (IsBalloonTailAtTop(layout.nPlacement)) {
        layout.body = {0, BALLOON_TAIL_HEIGHT, W, H};
    } else {
        layout.body = {0, 0, W, H - BALLOON_TAIL_HEIGHT};
        yBase = H - BALLOON_TAIL_HEIGHT - 2;
        yTip = H - 2;
    }
    if (bTailRight) {
        layout.tail[0] = {3 * q, yBase};
        layout.tail[1] = {3 * q + BALLOON_TAIL_WIDTH, yTip};
        layout.tail[2] = {3 * q + BALLOON_TAIL_WIDTH, yBase};
    } else {
        layout.tail[0] = {q + BALLOON_TAIL_WIDTH, yBase};
        layout.tail[1] = {q, yTip};
        layout.tail[2] = {q, yBase};
    }
    for (BalloonPoint& point : layout.tail)
        point.x = std::clamp(point.x, BALLOON_TAIL_INSET, std::max(BALLOON_TAIL_INSET, W - BALLOON_TAIL_INSET));

    BalloonPoint origin{anchor.x - layout.tail[1].x, anchor.y - layout.tail[1].y};
    int dx = 0;
    if (origin.x < rcWork.left)
        dx = rcWork.left - origin.x;
    else if (origin.x + W >= rcWork.right)
        dx = rcWork.right - (origin.x + W);
    origin.x += dx;
    // Measured from the body, whichever side the tail is on: a fixed
    // allowance for the tail would leave a tall balloon's body hanging off
    // the edge by the tail's height.
    if (origin.y + layout.body.top < rcWork.top)
        origin.y += rcWork.top - (origin.y + layout.body.top);
    else if (origin.y + layout.body.bottom >= rcWork.bottom)
        origin.y -= origin.y + layout.body.bottom - rcWork.bottom;
    layout.tail[1].x -= dx;
    layout.origin = origin;
    return layout;
}

BalloonRect GetBalloonClientRect(const BalloonRect& rcWindow, int nPlacement)
{
    BalloonRect rc{rcWindow.left + BALLOON_MARGIN, rcWindow.top + BALLOON_MARGIN, rcWindow.right - BALLOON_MARGIN,
                   rcWindow.bottom - BALLOON_MARGIN};
    if (IsBalloonTailAtTop(nPlacement))
        rc.top += BALLOON_TAIL_HEIGHT;
    else
        rc.bottom -= BALLOON_TAIL_HEIGHT;
    rc.right = std::max(rc.right, rc.left);
    rc.bottom = std::max(rc.bottom, rc.top);
    return rc;
}

BalloonColour GetBalloonBorderLight(BalloonColour background)
{
    auto light = [](uint8_t n) { return static_cast<uint8_t>(n / 3 + 170); };
    return {light(background.r), light(background.g), light(background.b)};
}

BalloonColour GetBalloonBorderShade(BalloonColour foreground, BalloonColour background)
{
    auto shade = [](uint8_t nFore, uint8_t nBack) { return static_cast<uint8_t>(nFore / 3 + 2 * (nBack / 3)); };
    return {shade(foreground.r, background.r), shade(foreground.g, background.g), shade(foreground.b, background.b)};
}
