#include "views/ChartPainter.h"

#include <QTest>

#include <set>
#include <tuple>

namespace {

constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kAmber = 0xFFFFA000;

// Bars that reach the edges: key 2 (x 3..5, rows 47..149), key 127 over the
// right border, a duty bar rising past the top, a row over the left border,
// and an empty one; a limit across row 60 and an empty strip of figures.
const Chart kEdgeChart{ChartKind::Duty, 381, 151,
                       {{3, 47, 6, 150}, {378, 100, 381, 150}, {10, -40, 20, 150}, {0, 33, 2, 34}, {5, 5, 5, 10}},
                       {}, {}, 30, {}, 60, {}};

}  // namespace

class ChartPainterTest : public QObject {
    Q_OBJECT

private slots:
    void barsCoverTheirPixelsAndPaintOverTheOutline();
    void largerScalesRepeatEveryLogicalPixel();
    void chartKeepsItsAspectInTheWindow_data();
    void chartKeepsItsAspectInTheWindow();
};

void ChartPainterTest::barsCoverTheirPixelsAndPaintOverTheOutline()
{
    const QImage image = renderChart(makeChartPicture(kEdgeChart), 1);
    QCOMPARE(image.size(), QSize(381, 181));
    const std::tuple<int, int, QRgb> pixels[] = {
        {3, 47, kWhite}, {5, 149, kWhite}, {2, 100, kBlack}, {6, 100, kBlack}, {4, 46, kBlack}, {4, 150, kGreen},
        {380, 120, kWhite}, {380, 99, kGreen}, {15, 0, kWhite}, {20, 0, kGreen}, {0, 33, kWhite}, {0, 34, kGreen},
        {2, 33, kBlack}, {5, 7, kBlack}, {1, 1, kBlack}, {380, 150, kGreen},
        {0, 60, kGreen}, {1, 60, kAmber}, {4, 60, kAmber}, {379, 60, kAmber}, {380, 60, kGreen}, {4, 61, kWhite},
        {1, 59, kBlack}, {0, 151, kBlack}, {200, 180, kBlack},
    };
    for (const auto& [x, y, colour] : pixels) {
        QVERIFY2(image.pixel(x, y) == colour, qPrintable(QString("pixel %1, %2").arg(x).arg(y)));
    }
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    QCOMPARE(colours, (std::set<QRgb>{kBlack, kGreen, kWhite, kAmber}));
}

void ChartPainterTest::largerScalesRepeatEveryLogicalPixel()
{
    const ChartPicture picture = makeChartPicture(kEdgeChart);
    const QImage once = renderChart(picture, 1);
    for (const int scale : {2, 3}) {
        QCOMPARE(renderChart(picture, scale),
                 once.scaled(once.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }
}

void ChartPainterTest::chartKeepsItsAspectInTheWindow_data()
{
    QTest::addColumn<QSizeF>("area");
    QTest::addColumn<QRectF>("expected");
    QTest::newRow("wide window") << QSizeF(1000, 362) << QRectF(119, 0, 762, 362);
    QTest::newRow("tall window") << QSizeF(381, 400) << QRectF(0, 109.5, 381, 181);
    QTest::newRow("empty window") << QSizeF(0, 200) << QRectF();
}

void ChartPainterTest::chartKeepsItsAspectInTheWindow()
{
    QFETCH(QSizeF, area);
    QFETCH(QRectF, expected);
    QCOMPARE(fittedChartRect(kEdgeChart, area), expected);
}

QTEST_MAIN(ChartPainterTest)
#include "ChartPainterTest.moc"
