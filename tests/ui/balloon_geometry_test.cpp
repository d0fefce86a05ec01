#include "ui/balloon_geometry.h"

#include <gtest/gtest.h>

namespace {

const BalloonRect kScreen{0, 0, 1024, 768};

BalloonPoint TipOnScreen(const BalloonLayout& layout)
{
    return {layout.origin.x + layout.tail[1].x, layout.origin.y + layout.tail[1].y};
}

TEST(BalloonGeometry, TheAnchorsQuarterOfTheWorkAreaPicksThePlacement)
{
    const BalloonRect rcShifted{100, 50, 1124, 818};
    const struct {
        BalloonRect rcWork;
        BalloonPoint anchor;
        int nPlacement;
    } cases[] = {
        {kScreen, {900, 100}, 0},  {kScreen, {100, 100}, 1},  {kScreen, {900, 700}, 2},
        {kScreen, {100, 700}, 3},  {kScreen, {512, 383}, 0},  {kScreen, {511, 384}, 3},
        {rcShifted, {611, 433}, 1}, {rcShifted, {612, 434}, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.nPlacement, GetBalloonPlacement(c.anchor, c.rcWork)) << c.anchor.x << "," << c.anchor.y;
}

TEST(BalloonGeometry, TheWiderOfHeaderAndContentSetsTheWidth)
{
    const BalloonSize titleWider = GetBalloonWindowSize({240, 16}, {90, 13});
    EXPECT_EQ(256, titleWider.cx);
    EXPECT_EQ(16 + 8 + 13 + 36, titleWider.cy);
    const BalloonSize contentWider = GetBalloonWindowSize({60, 32}, {300, 52});
    EXPECT_EQ(316, contentWider.cx);
    EXPECT_EQ(32 + 8 + 52 + 36, contentWider.cy);
    EXPECT_EQ(512, GetBalloonContentWrapWidth(kScreen)) << "about half the work area";
    EXPECT_EQ(641, GetBalloonContentWrapWidth({0, 0, 1281, 1024}));
}

TEST(BalloonGeometry, InTheLowerLeftTheBalloonIsAboveWithTheTipAtAQuarter)
{
    const BalloonLayout layout = LayoutBalloon({100, 700}, kScreen, {136, 90});
    EXPECT_EQ(3, layout.nPlacement);
    // q = (136 - 20) / 4 = 29
    EXPECT_EQ(29, layout.tail[1].x);
    EXPECT_EQ(88, layout.tail[1].y);
    EXPECT_EQ(49, layout.tail[0].x);
    EXPECT_EQ(68, layout.tail[0].y);
    EXPECT_EQ(29, layout.tail[2].x);
    EXPECT_EQ(0, layout.body.top);
    EXPECT_EQ(136, layout.body.right);
    EXPECT_EQ(70, layout.body.bottom);
    EXPECT_EQ(71, layout.origin.x);
    EXPECT_EQ(612, layout.origin.y);
}

TEST(BalloonGeometry, TheTailStaysClearOfTheCornersOnANarrowBalloon)
{
    // q = (40 - 20) / 4 = 5: the tip at 3q + 20 = 35 and the base at 15
    // would crowd the right corner; both are kept 8 from the sides.
    const BalloonLayout layout = LayoutBalloon({900, 100}, kScreen, {40, 60});
    EXPECT_EQ(0, layout.nPlacement);
    EXPECT_EQ(15, layout.tail[0].x);
    EXPECT_EQ(32, layout.tail[1].x);
    EXPECT_EQ(32, layout.tail[2].x);
    EXPECT_EQ(1, layout.tail[1].y);
    EXPECT_EQ(21, layout.tail[0].y);
    EXPECT_EQ(20, layout.body.top);
}

TEST(BalloonGeometry, ABalloonTooWideForTheRightEndsAtTheEdgeWithItsTipOnTheAnchor)
{
    const BalloonLayout layout = LayoutBalloon({1000, 100}, kScreen, {300, 80});
    EXPECT_EQ(0, layout.nPlacement);
    EXPECT_EQ(1024, layout.origin.x + 300);
    EXPECT_EQ(99, layout.origin.y);
    EXPECT_EQ(1000, TipOnScreen(layout).x);
    EXPECT_EQ(100, TipOnScreen(layout).y);
    // Only the tip moves: the base stays where the body's quarter put it.
    EXPECT_EQ(210, layout.tail[0].x);
    EXPECT_EQ(230, layout.tail[2].x);
}

TEST(BalloonGeometry, NearEveryEdgeTheBodyStaysOnTheWorkArea)
{
    // A taskbar takes the bottom 40 pixels; the last two balloons are taller
    // than the half of the work area that they open into.
    const BalloonRect rcWork{0, 0, 1024, 728};
    const struct {
        BalloonPoint anchor;
        BalloonSize size;
        bool bTipOnAnchor;
    } cases[] = {
        {{2, 3}, {136, 90}, true},      {{1021, 3}, {136, 90}, true},  {{2, 725}, {136, 90}, true},
        {{1021, 725}, {136, 90}, true}, {{300, 300}, {200, 500}, false}, {{700, 500}, {200, 520}, false},
    };
    for (const auto& c : cases) {
        const BalloonLayout layout = LayoutBalloon(c.anchor, rcWork, c.size);
        const BalloonRect body{layout.origin.x + layout.body.left, layout.origin.y + layout.body.top,
                               layout.origin.x + layout.body.right, layout.origin.y + layout.body.bottom};
        const std::string strCase = std::to_string(c.anchor.x) + "," + std::to_string(c.anchor.y);
        EXPECT_GE(body.left, rcWork.left) << strCase;
        EXPECT_LE(body.right, rcWork.right) << strCase;
        EXPECT_GE(body.top, rcWork.top) << strCase;
        EXPECT_LE(body.bottom, rcWork.bottom) << strCase;
        EXPECT_EQ(c.anchor.x, TipOnScreen(layout).x) << strCase;
        if (c.bTipOnAnchor) {
            EXPECT_EQ(c.anchor.y, TipOnScreen(layout).y) << strCase;
        }
        for (const BalloonPoint& point : layout.tail) {
            EXPECT_GE(point.x, 0) << strCase;
            EXPECT_LE(point.x, c.size.cx) << strCase;
        }
    }
}

TEST(BalloonGeometry, TheClientAreaLeavesTheMarginsAndTheTailAndNeverTurnsInsideOut)
{
    const BalloonRect rcWindow{500, 300, 636, 390};
    const BalloonRect below = GetBalloonClientRect(rcWindow, 1);
    EXPECT_EQ(508, below.left);
    EXPECT_EQ(328, below.top);
    EXPECT_EQ(628, below.right);
    EXPECT_EQ(382, below.bottom);
    const BalloonRect above = GetBalloonClientRect(rcWindow, 2);
    EXPECT_EQ(308, above.top);
    EXPECT_EQ(362, above.bottom);
    const BalloonRect tiny = GetBalloonClientRect({0, 0, 10, 10}, 0);
    EXPECT_EQ(0, tiny.Width());
    EXPECT_EQ(0, tiny.Height());
}

TEST(BalloonGeometry, TheBorderColoursComeFromTheTooltipColours)
{
    const BalloonColour light = GetBalloonBorderLight({255, 255, 225});
    EXPECT_EQ(255, light.r);
    EXPECT_EQ(255, light.g);
    EXPECT_EQ(245, light.b);
    const BalloonColour shade = GetBalloonBorderShade({0, 0, 0}, {255, 255, 225});
    EXPECT_EQ(170, shade.r);
    EXPECT_EQ(150, shade.b);
    const BalloonColour mixed = GetBalloonBorderShade({100, 0, 255}, {30, 255, 255});
    EXPECT_EQ(33 + 20, mixed.r);
    EXPECT_EQ(170, mixed.g);
    EXPECT_EQ(255, mixed.b) << "the brightest mix still fits a byte";
}

}  // namespace
