#pragma once
// Where the balloon goes and what shape it has, from its measured size, the
// anchor and the work area of the monitor. No drawing here: the window only
// applies what these functions decide, so the edge cases can be tried
// without a screen.

#include <cstdint>

struct BalloonPoint {
    int x;
    int y;
};

struct BalloonSize {
    int cx;
    int cy;
};

struct BalloonRect {
    int left;
    int top;
    int right;
    int bottom;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Margin around the client area, and the gap between header items and
// between header and content.
constexpr int BALLOON_MARGIN = 8;
constexpr int BALLOON_TAIL_HEIGHT = 20;
constexpr int BALLOON_TAIL_WIDTH = 20;
constexpr int BALLOON_CORNER = 24;
// Tail points keep this far from either side, clear of the rounded corners.
constexpr int BALLOON_TAIL_INSET = 8;

// Where the body lies relative to the anchor, and where its tail points from.
enum BalloonPlacement : int {
    BALLOON_BELOW_TAIL_RIGHT = 0,
    BALLOON_BELOW_TAIL_LEFT = 1,
    BALLOON_ABOVE_TAIL_RIGHT = 2,
    BALLOON_ABOVE_TAIL_LEFT = 3,
};

inline bool IsBalloonTailAtTop(int nPlacement)
{
    return nPlacement == BALLOON_BELOW_TAIL_RIGHT || nPlacement == BALLOON_BELOW_TAIL_LEFT;
}

// The balloon opens away from the nearer screen edges: below an anchor in
// the upper half, with its tail near the right for an anchor in the right half.
int GetBalloonPlacement(BalloonPoint anchor, const BalloonRect& rcWork);

// The window's size for a measured header and content.
BalloonSize GetBalloonWindowSize(BalloonSize header, BalloonSize content);

// Content wraps into about half the work area, so a long text becomes a
// block and not a line across the screen.
int GetBalloonContentWrapWidth(const BalloonRect& rcWork);

struct BalloonLayout {
    int nPlacement;
    // Window position on the screen; size as given.
    BalloonPoint origin;
    BalloonSize size;
    // In window coordinates: the rounded body and the tail (P1 is the tip).
    BalloonRect body;
    BalloonPoint tail[3];
};

// Puts the tip on the anchor, then pushes the window back onto the work area
// with the tip moved along, so it still points at the anchor sideways.
BalloonLayout LayoutBalloon(BalloonPoint anchor, const BalloonRect& rcWork, BalloonSize window);

// The client rectangle inside a window rectangle: the margins, and the tail
// on its side. Never inside out, however small the window.
BalloonRect GetBalloonClientRect(const BalloonRect& rcWindow, int nPlacement);

struct BalloonColour {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

// The 3-D border: a light edge from the background, and a shade between the
// text colour and the background.
BalloonColour GetBalloonBorderLight(BalloonColour background);
BalloonColour GetBalloonBorderShade(BalloonColour foreground, BalloonColour background);
