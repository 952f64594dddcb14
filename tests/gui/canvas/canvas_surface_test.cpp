// Pixel tests of the Qt canvas surface: its primitives, and whole chart panels as the window shows them.
#include <gtest/gtest.h>

#include <QColor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "canvas_surface.h"
#include "chart_rects.h"
#include "weigh_chart.h"

namespace {

const QSize kClientSize(780, 400);

bool Is(const QImage& image, int x, int y, int r, int g, int b)
{
    const QColor c = image.pixelColor(x, y);
    return c.alpha() == 255 && c.red() == r && c.green() == g && c.blue() == b;
}

bool IsBlack(const QImage& image, int x, int y) { return Is(image, x, y, 0, 0, 0); }
bool IsUntouched(const QImage& image, int x, int y) { return image.pixelColor(x, y).alpha() == 0; }

int Count(const QImage& image, const QRect& rc, int r, int g, int b)
{
    int n = 0;
    for (int y = std::max(rc.top(), 0); y <= std::min(rc.bottom(), image.height() - 1); ++y)
        for (int x = std::max(rc.left(), 0); x <= std::min(rc.right(), image.width() - 1); ++x)
            n += Is(image, x, y, r, g, b) ? 1 : 0;
    return n;
}

// The ten weights 0,0,0,0,0,2,2,2,2,2, or (nFinal 500) forty weighings spread around 499.
CWeighChart Chart(int nFinal)
{
    std::vector<double> values = {0, 0, 0, 0, 0, 2, 2, 2, 2, 2};
    if (nFinal == 500) {
        values.clear();
        for (int nOffset : {-3, 1, 0, 2, -1, 4, -2, 0, 1, -5, 2, 3, -1, 0, 1, -2, 2, 0, -4, 1,
                            3, -1, 0, 2, -3, 1, 0, -2, 1, 5, -1, 2, 0, -1, 1, -3, 2, 1, 0, -2})
            values.push_back(499 + nOffset);
    }
    CWeighChart chart;
    EXPECT_TRUE(chart.Compute(values.data(), static_cast<int>(values.size()), nFinal));
    return chart;
}

void Draw(const CWeighChart& chart, CCanvasSurface& surface, const CChartRect& rc)
{
    chart.Draw(surface, rc.m_nLeft, rc.m_nTop, rc.m_nRight, rc.m_nBottom);
}

TEST(CanvasPrimitives, TextTopLeftOnOpaqueBackground)
{
    CCanvasSurface surface(QSize(200, 60));
    ASSERT_TRUE(surface.Begin());
    surface.Text(20, 15, "Final", CRgb{0, 128, 0}, CRgb{0, 0, 0});
    surface.End();
    const QImage& image = surface.Image();
    const QFontMetrics fm(QGuiApplication::font());
    // The background cell starts exactly at the point; the letters lie inside it.
    EXPECT_TRUE(IsBlack(image, 20, 15));
    EXPECT_TRUE(IsUntouched(image, 19, 15) && IsUntouched(image, 20, 14));
    const int nGreen = Count(image, QRect(20, 15, fm.horizontalAdvance("Final"), fm.height()), 0, 128, 0);
    EXPECT_GE(nGreen, 15);
    EXPECT_EQ(Count(image, QRect(0, 0, 200, 60), 0, 128, 0), nGreen);
}

TEST(CanvasPrimitives, FarCoordinatesAreHarmless)
{
    CCanvasSurface surface(QSize(50, 50));
    ASSERT_TRUE(surface.Begin());
    surface.Line(-2000000000, 10, -2000000000, 40, CPen{EPenStyle::Solid, 1, CRgb{0, 128, 255}});
    surface.Line(INT_MIN, INT_MIN, INT_MAX, INT_MAX, CPen{EPenStyle::Dot, 1, CRgb{170, 170, 0}});
    surface.Dot(INT_MAX, INT_MIN, CPen{EPenStyle::Solid, 6, CRgb{255, 0, 0}});
    surface.Text(INT_MIN, INT_MAX, "S", CRgb{0, 128, 255}, CRgb{0, 0, 0});
    surface.FillBlack(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    surface.End();
    EXPECT_EQ(Count(surface.Image(), QRect(0, 0, 50, 50), 0, 0, 0), 2500);
}

TEST(CanvasPrimitives, BeginEndAttachAndResize)
{
    QImage image(30, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    CCanvasSurface surface(&image);
    ASSERT_TRUE(surface.Begin());
    EXPECT_FALSE(surface.Begin());  // one drawing at a time
    surface.FillBlack(0, 0, 10, 10);
    surface.End();
    EXPECT_TRUE(IsBlack(image, 5, 5));
    EXPECT_EQ(&surface.Image(), &image);
    surface.Resize(QSize(60, 40));
    EXPECT_EQ(image.size(), QSize(60, 40));
    EXPECT_TRUE(IsBlack(image, 5, 5) && IsUntouched(image, 50, 35));
    surface.FillBlack(20, 20, 30, 30);  // outside Begin/End: nothing
    EXPECT_TRUE(IsUntouched(image, 25, 25));
    CCanvasSurface empty(QSize(0, 0));
    EXPECT_FALSE(empty.Begin());
}

TEST(CanvasPanel, TenWeightsOnTheCurrentPanel)
{
    CCanvasSurface surface(kClientSize);
    Draw(Chart(1), surface, g_rcChartCurrent);
    const QImage& image = surface.Image();

    // The black panel, right and bottom edges excluded, nothing outside it.
    EXPECT_TRUE(IsBlack(image, 8, 121) && IsBlack(image, 20, 140) && IsBlack(image, 332, 367));
    EXPECT_TRUE(IsUntouched(image, 333, 200) && IsUntouched(image, 100, 368) && IsUntouched(image, 100, 120));

    // A red sample dot, 6 px and round, centred on (126, 283): the corners of its square stay empty.
    for (const QPoint& p : {QPoint(126, 283), QPoint(124, 283), QPoint(128, 283), QPoint(126, 281), QPoint(126, 285), QPoint(214, 283)})
        EXPECT_TRUE(Is(image, p.x(), p.y(), 255, 0, 0)) << p.x() << "," << p.y();
    for (const QPoint& p : {QPoint(123, 280), QPoint(129, 280), QPoint(123, 286), QPoint(129, 286)})
        EXPECT_FALSE(Is(image, p.x(), p.y(), 255, 0, 0)) << p.x() << "," << p.y();
    EXPECT_LE(Count(image, QRect(121, 278, 11, 11), 255, 0, 0), 32);  // a 6-px disc covers about 28; its square 36
    EXPECT_GE(Count(image, QRect(121, 278, 11, 11), 255, 0, 0), 24);

    // The dotted -2 sigma line on x = 82 from the axis up to y = 225: yellow with black gaps.
    const QRect line(82, 230, 1, 80);
    EXPECT_GE(Count(image, line, 170, 170, 0), 15);
    EXPECT_GE(Count(image, line, 0, 0, 0), 15);
    EXPECT_EQ(Count(image, QRect(82, 200, 1, 24), 170, 170, 0), 0);  // nothing above its top
    EXPECT_GE(Count(image, QRect(258, 230, 1, 80), 170, 170, 0), 15);
    // The -3 sigma line is dark red and stops at y = 268.
    EXPECT_GE(Count(image, QRect(38, 270, 1, 50), 130, 0, 0), 10);
    EXPECT_EQ(Count(image, QRect(38, 240, 1, 26), 130, 0, 0), 0);

    // The mean marker in blue over the vertical axis, the axes in green two pixels thick, the curve near (170, 253).
    EXPECT_TRUE(Is(image, 170, 200, 0, 128, 255));
    EXPECT_GE(Count(image, QRect(20, 327, 300, 2), 0, 128, 0), 300);
    EXPECT_GE(Count(image, QRect(160, 248, 20, 10), 0, 64, 0), 10);

    // The white text line from (12, 350), and no white above it.
    const QFontMetrics fm(QGuiApplication::font());
    EXPECT_GE(Count(image, QRect(12, 350, 320, fm.height()), 255, 255, 255), 60);
    EXPECT_EQ(Count(image, QRect(8, 121, 325, 225), 255, 255, 255), 0);
}

TEST(CanvasPanel, InvalidModelFarMeanAndStatus)
{
    CCanvasSurface surface(kClientSize);
    Draw(CWeighChart(), surface, g_rcChartAll);
    EXPECT_EQ(Count(surface.Image(), QRect(0, 0, 780, 400), 0, 0, 0), 319 * 247);
    EXPECT_EQ(Count(surface.Image(), QRect(344, 121, 319, 247), 0, 0, 0), 319 * 247);

    Draw(Chart(1000), surface, g_rcChartCurrent);
    const QImage& image = surface.Image();
    EXPECT_EQ(Count(image, QRect(0, 0, 780, 400), 0, 128, 255), 0);  // marker far left, off the image
    EXPECT_EQ(Count(image, QRect(8, 121, 325, 247), 255, 0, 0) + Count(image, QRect(8, 121, 325, 247), 0, 64, 0), 0);
    EXPECT_TRUE(IsUntouched(image, 4, 200));

    CWeighChart::DrawStatus(surface, 3);
    const QRect box(690, 64, 71, 30);
    EXPECT_GE(Count(image, box, 255, 0, 0), 20);
    EXPECT_EQ(Count(image, box, 255, 0, 0) + Count(image, box, 0, 0, 0), 71 * 30);
    CWeighChart::DrawStatus(surface, 0);
    EXPECT_EQ(Count(image, box, 0, 0, 0), 71 * 30);
    EXPECT_TRUE(IsUntouched(image, 689, 70));
}

// Both panels as the dialog shows them; saved as a picture when TKD_CHART_IMAGE names a file.
TEST(CanvasPanel, BothPanelsPicture)
{
    CCanvasSurface surface(kClientSize);
    CWeighChart::DrawStatus(surface, 3);
    Draw(Chart(1), surface, g_rcChartCurrent);
    Draw(Chart(500), surface, g_rcChartAll);
    const QImage& image = surface.Image();
    EXPECT_GE(Count(image, QRect(344, 121, 319, 247), 255, 0, 0), 100);  // twenty sample dots
    EXPECT_GE(Count(image, QRect(344, 121, 319, 247), 0, 64, 0), 100);
    EXPECT_GE(Count(image, QRect(344, 345, 319, 23), 255, 255, 255), 60);

    if (const char* pszPath = std::getenv("TKD_CHART_IMAGE")) {
        // On the dialog's grey, cropped to the panels and the status box.
        QImage picture(QSize(770, 378), QImage::Format_RGB32);
        picture.fill(QColor(240, 240, 240));
        QPainter painter(&picture);
        painter.drawImage(0, 0, image);
        painter.end();
        EXPECT_TRUE(picture.save(QString::fromLocal8Bit(pszPath)));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);  // painting text needs a GUI application's font database (offscreen)
    return RUN_ALL_TESTS();
}
