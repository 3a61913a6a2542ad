#include "views/ChartPainter.h"

#include <QPainter>
#include <QTest>

#include <set>

namespace {

constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;

Chart chartOf(ChartKind kind, std::vector<ChartRect> bars, std::string message = {})
{
    const bool notes = kind == ChartKind::Notes;
    return Chart{kind, notes ? 338 : 381, notes ? 163 : 151, std::move(bars), std::move(message)};
}

std::set<QRgb> coloursOf(const QImage& image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    return colours;
}

}  // namespace

class ChartPainterTest : public QObject {
    Q_OBJECT

private slots:
    void barsCoverTheirPixelsAndNoMore_data();
    void barsCoverTheirPixelsAndNoMore();
    void chartWithoutTextHasOnlyGreenBlackAndWhite();
    void largerScalesRepeatEveryLogicalPixel();
    void messageIsGreenAtTheTopLeftOfTheField();
    void chartKeepsItsAspectInTheWindow_data();
    void chartKeepsItsAspectInTheWindow();
};

void ChartPainterTest::barsCoverTheirPixelsAndNoMore_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QRect>("bar");  // left, top, right, bottom as x1, y1, x2, y2
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<uint>("colour");

    const auto spectrum = static_cast<int>(ChartKind::Spectrum);
    const auto notes = static_cast<int>(ChartKind::Notes);
    // A spectrum bar of key 2: x 3..5, from row 47 down to the bottom row 149.
    const QRect key2(QPoint(3, 47), QPoint(6, 150));
    QTest::newRow("top left pixel of a bar") << spectrum << key2 << QPoint(3, 47) << uint(kWhite);
    QTest::newRow("bottom right pixel of a bar") << spectrum << key2 << QPoint(5, 149) << uint(kWhite);
    QTest::newRow("left of a bar") << spectrum << key2 << QPoint(2, 100) << uint(kBlack);
    QTest::newRow("right edge is outside") << spectrum << key2 << QPoint(6, 100) << uint(kBlack);
    QTest::newRow("above a bar") << spectrum << key2 << QPoint(4, 46) << uint(kBlack);
    QTest::newRow("bottom border under a bar") << spectrum << key2 << QPoint(4, 150) << uint(kGreen);
    QTest::newRow("field corner") << spectrum << key2 << QPoint(1, 1) << uint(kBlack);
    QTest::newRow("border corner") << spectrum << key2 << QPoint(380, 0) << uint(kGreen);
    // Key 127 spans 378..380 and paints over the right border.
    const QRect key127(QPoint(378, 100), QPoint(381, 150));
    QTest::newRow("key 127 over the right border") << spectrum << key127 << QPoint(380, 120) << uint(kWhite);
    QTest::newRow("right border above key 127") << spectrum << key127 << QPoint(380, 99) << uint(kGreen);
    // A duty bar whose top lies above the field is clipped to the image.
    const QRect tall(QPoint(10, -40), QPoint(20, 150));
    QTest::newRow("tall bar over the top border") << spectrum << tall << QPoint(15, 0) << uint(kWhite);
    QTest::newRow("beside a tall bar") << spectrum << tall << QPoint(20, 0) << uint(kGreen);
    // A notes bar of key 127 across the whole width, one pixel high.
    const QRect row127(QPoint(0, 33), QPoint(338, 34));
    QTest::newRow("notes row over the left border") << notes << row127 << QPoint(0, 33) << uint(kWhite);
    QTest::newRow("notes row at the right edge") << notes << row127 << QPoint(337, 33) << uint(kWhite);
    QTest::newRow("below a notes row") << notes << row127 << QPoint(100, 34) << uint(kBlack);
    QTest::newRow("notes bottom border") << notes << row127 << QPoint(100, 162) << uint(kGreen);
    // Empty and inverted rectangles cover nothing.
    QTest::newRow("empty bar") << spectrum << QRect(QPoint(5, 5), QPoint(5, 10)) << QPoint(5, 7) << uint(kBlack);
    QTest::newRow("inverted bar") << spectrum << QRect(QPoint(9, 10), QPoint(7, 20)) << QPoint(8, 15)
                                  << uint(kBlack);
}

void ChartPainterTest::barsCoverTheirPixelsAndNoMore()
{
    QFETCH(int, kind);
    QFETCH(QRect, bar);
    QFETCH(QPoint, pixel);
    QFETCH(uint, colour);
    // QRect's x2/y2 carry the exclusive right and bottom edges here.
    const Chart chart = chartOf(static_cast<ChartKind>(kind), {{bar.x(), bar.y(), bar.right(), bar.bottom()}});
    const QImage image = renderChart(makeChartPicture(chart), 1);
    QCOMPARE(image.size(), QSize(chart.width, chart.height));
    QCOMPARE(image.pixel(pixel), QRgb(colour));
}

void ChartPainterTest::chartWithoutTextHasOnlyGreenBlackAndWhite()
{
    std::vector<ChartRect> bars;
    for (int k = 1; k < 128; ++k) {
        bars.push_back({3 * (k - 1), 150 - (k * 37) % 141, 3 * k, 150});
    }
    const QImage image = renderChart(makeChartPicture(chartOf(ChartKind::Spectrum, bars)), 1);
    QCOMPARE(coloursOf(image), (std::set<QRgb>{kBlack, kGreen, kWhite}));
}

void ChartPainterTest::largerScalesRepeatEveryLogicalPixel()
{
    const ChartPicture picture = makeChartPicture(
        chartOf(ChartKind::Duty, {{0, 120, 17, 150}, {17, 61, 190, 150}, {190, -3, 381, 150}}));
    const QImage once = renderChart(picture, 1);
    for (const int scale : {2, 3}) {
        const QImage scaled = renderChart(picture, scale);
        QCOMPARE(scaled, once.scaled(once.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }
}

void ChartPainterTest::messageIsGreenAtTheTopLeftOfTheField()
{
    const ChartPicture picture = makeChartPicture(chartOf(ChartKind::Notes, {}, "No file loaded!"));
    const QImage image = renderChart(picture, 1);
    int greenInText = 0;
    int litElsewhere = 0;
    for (int y = 1; y < image.height() - 1; ++y) {
        for (int x = 1; x < image.width() - 1; ++x) {
            const QColor colour(image.pixel(x, y));
            const bool inTextLine = x >= 5 && y >= 5 && y < 5 + 20;
            if (inTextLine && colour.green() > 128 && colour.red() < 64 && colour.blue() < 64) {
                ++greenInText;
            } else if (!inTextLine && image.pixel(x, y) != kBlack) {
                ++litElsewhere;
            }
        }
    }
    QVERIFY2(greenInText > 40, "the message is drawn in green on its line");
    QCOMPARE(litElsewhere, 0);
    QCOMPARE(image.pixel(0, 0), kGreen);
    QCOMPARE(image.pixel(4, 8), kBlack);
}

void ChartPainterTest::chartKeepsItsAspectInTheWindow_data()
{
    QTest::addColumn<QSizeF>("area");
    QTest::addColumn<QRectF>("expected");
    QTest::newRow("wide window") << QSizeF(1000, 302) << QRectF(119, 0, 762, 302);
    QTest::newRow("tall window") << QSizeF(381, 400) << QRectF(0, 124.5, 381, 151);
    QTest::newRow("shrunk to half") << QSizeF(190.5, 75.5) << QRectF(0, 0, 190.5, 75.5);
    QTest::newRow("empty window") << QSizeF(0, 200) << QRectF();
}

void ChartPainterTest::chartKeepsItsAspectInTheWindow()
{
    QFETCH(QSizeF, area);
    QFETCH(QRectF, expected);
    QCOMPARE(fittedChartRect(chartOf(ChartKind::Spectrum, {}), area), expected);
}

QTEST_MAIN(ChartPainterTest)
#include "ChartPainterTest.moc"
