#include "LevelChart.h"
#include "LevelDecimator.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QTextDocument>
#include <QImage>
#include <QLegend>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>

#include <memory>
#include <stdexcept>

namespace {

const QColor kRed(255, 0, 0);

QString TimeLabel(int i)
{
    const int s = (14 * 3600 + 2 * 60 + 10 + 2 * i) % 86400;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

class TestLevelChart : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyChartAndActivation();
    void numberingRunsOnAcrossCaptures();
    void axesFollowDataUntilPanned();
    void wheelDoesNothing();
    void sameValuesGetARange();
    void outlierNeverLaysOutThousandsOfTicks();
    void drawsDecimatedWithSpikes();
    void areaTakesThePointColours();
    void printRect_data();
    void printRect();
    void renderPageStaysInsideRectangle();
    void printsOnePdfPage();
    void printFailureThrows();
    void timeLabelsDrawnWhole_data();
    void timeLabelsDrawnWhole();
    void timeAxisKeepsItsLabelItems();

private:
    void AddLevels(int count, double base = 110.0);
    QAreaSeries* Series1() const;
    QImage Grab() const;

    std::unique_ptr<LevelChart> m_chart;
};

void TestLevelChart::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestLevelChart::init()
{
    m_chart = std::make_unique<LevelChart>();
    m_chart->setObjectName(QStringLiteral("chtFastLine1"));
    m_chart->resize(1004, 250);
    m_chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_chart.get()));
}

void TestLevelChart::cleanup()
{
    m_chart.reset();
}

void TestLevelChart::AddLevels(int count, double base)
{
    const qsizetype first = m_chart->Count();
    for (int i = 0; i < count; ++i)
        m_chart->Add(base + 10.0 * std::sin((first + i) / 9.0), TimeLabel(static_cast<int>(first + i)), kRed);
}

QAreaSeries* TestLevelChart::Series1() const
{
    for (QAbstractSeries* s : m_chart->chart()->series()) {
        if (s->name() == QStringLiteral("Series1") && s->type() == QAbstractSeries::SeriesTypeArea)
            return static_cast<QAreaSeries*>(s);
    }
    return nullptr;
}

QImage TestLevelChart::Grab() const
{
    QCoreApplication::processEvents();
    return m_chart->grab().toImage();
}

void TestLevelChart::emptyChartAndActivation()
{
    QAreaSeries* area = Series1();
    QVERIFY(area);
    QCOMPARE(area->upperSeries()->count(), 0);
    QCOMPARE(m_chart->Count(), 0);
    QCOMPARE(m_chart->TitleText(), QStringLiteral("RF at input of K4, in dbm below zero"));
    const auto axesX = m_chart->chart()->axes(Qt::Horizontal);
    const auto axesY = m_chart->chart()->axes(Qt::Vertical);
    QCOMPARE(axesX.size(), 1);
    QCOMPARE(axesY.size(), 1);
    QCOMPARE(axesX.front()->titleText(), QStringLiteral("Local Time"));
    QCOMPARE(axesY.front()->titleText(), QStringLiteral("DB down from 0"));

    // An empty chart draws background, title and axes but no area.
    const QImage empty = Grab();
    QVERIFY(!empty.isNull());
    const QRect plot = m_chart->chart()
                           ->mapRectToScene(m_chart->chart()->plotArea())
                           .toRect()
                           .translated(m_chart->viewport()->mapTo(m_chart.get(), QPoint(0, 0)));
    QVERIFY(plot.width() > 500 && plot.height() > 100);
    int red = 0;
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        for (int x = plot.left(); x <= plot.right(); ++x)
            red += empty.pixelColor(x, y) == kRed;
    QCOMPARE(red, 0);

    m_chart->ConfigureAtActivation();
    QCOMPARE(m_chart->TitleText(), QStringLiteral("K4 input level in dbm below zero"));
    QCOMPARE(m_chart->chart()->title(), QStringLiteral("K4 input level in dbm below zero"));
    QVERIFY(!m_chart->chart()->legend()->isVisible());
    QCOMPARE(axesX.front()->linePen().width(), 1);
    QCOMPARE(axesY.front()->linePen().width(), 1);
}

void TestLevelChart::numberingRunsOnAcrossCaptures()
{
    // Two captures are simply more points; nothing resets the numbering.
    QCOMPARE(m_chart->Add(101.5, QStringLiteral("14:02:10"), kRed), 0);
    QCOMPARE(m_chart->Add(99.25, QStringLiteral("14:02:25"), kRed), 1);
    QCOMPARE(m_chart->Add(120.0, QStringLiteral("15:30:00"), QColor(0, 0, 255)), 2);
    QCOMPARE(m_chart->Count(), 3);
    QCOMPARE(m_chart->YValue(1), 99.25);
    QCOMPARE(m_chart->Label(0), QStringLiteral("14:02:10"));
    QCOMPARE(m_chart->Label(2), QStringLiteral("15:30:00"));
    QCOMPARE(m_chart->PointColor(0), kRed);
    QCOMPARE(m_chart->PointColor(2), QColor(0, 0, 255));

    // The first point's label stands under it, at X 0.
    QCoreApplication::processEvents();
    auto* axis = qobject_cast<QCategoryAxis*>(m_chart->chart()->axes(Qt::Horizontal).front());
    QVERIFY(axis);
    const QStringList labels = axis->categoriesLabels();
    QVERIFY(!labels.isEmpty());
    QCOMPARE(labels.front(), QStringLiteral("14:02:10"));
    QCOMPARE(axis->endValue(labels.front()), 0.0);
    const QList<QPointF> drawn = Series1()->upperSeries()->points();
    QCOMPARE(drawn, (QList<QPointF>{{0, 101.5}, {1, 99.25}, {2, 120.0}}));
}

void TestLevelChart::axesFollowDataUntilPanned()
{
    AddLevels(200);
    QCOMPARE(m_chart->BottomMin(), 0.0);
    QCOMPARE(m_chart->BottomMax(), 199.0);
    double lo = 1e9, hi = -1e9;
    for (qsizetype i = 0; i < m_chart->Count(); ++i) {
        lo = std::min(lo, m_chart->YValue(i));
        hi = std::max(hi, m_chart->YValue(i));
    }
    QCOMPARE(m_chart->LeftMin(), lo);
    QCOMPARE(m_chart->LeftMax(), hi);
    QVERIFY(!m_chart->BottomAxisFixed());
    auto* axisX = qobject_cast<QValueAxis*>(m_chart->chart()->axes(Qt::Horizontal).front());
    QTRY_COMPARE(axisX->max(), 199.0);

    // A new point moves the automatic range on.
    m_chart->Add(hi + 5.0, TimeLabel(200), kRed);
    QCOMPARE(m_chart->BottomMax(), 200.0);
    QCOMPARE(m_chart->LeftMax(), hi + 5.0);
    QTRY_COMPARE(axisX->max(), 200.0);

    // Drag 100 pixels to the right: earlier points come into view.
    QWidget* vp = m_chart->viewport();
    const QPoint from(500, 120);
    const QPoint to(600, 120);
    const double width = m_chart->chart()->plotArea().width();
    QTest::mousePress(vp, Qt::LeftButton, {}, from);
    QTest::mouseMove(vp, QPoint(550, 120));
    QTest::mouseMove(vp, to);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
    QVERIFY(m_chart->BottomAxisFixed());
    const double shift = -100.0 * 200.0 / width;
    QCOMPARE(m_chart->BottomMin(), shift);
    QCOMPARE(m_chart->BottomMax(), 200.0 + shift);
    QCOMPARE(axisX->min(), shift);

    // From now on new points leave the bottom axis alone; the left one follows.
    AddLevels(50);
    m_chart->Add(hi + 20.0, TimeLabel(251), kRed);
    QCOMPARE(m_chart->BottomMin(), shift);
    QCOMPARE(m_chart->BottomMax(), 200.0 + shift);
    QCOMPARE(m_chart->LeftMax(), hi + 20.0);
    QCoreApplication::processEvents();
    QCOMPARE(axisX->max(), 200.0 + shift);

    // A plain click does not move it either.
    QTest::mouseClick(vp, Qt::LeftButton, {}, from);
    QCOMPARE(m_chart->BottomMin(), shift);
}

void TestLevelChart::wheelDoesNothing()
{
    AddLevels(100);
    QCoreApplication::processEvents();
    QWidget* vp = m_chart->viewport();
    const QPointF at(500, 120);
    for (int delta : {120, -120, 960}) {
        QWheelEvent wheel(at, vp->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(vp, &wheel);
    }
    QCOMPARE(m_chart->BottomMin(), 0.0);
    QCOMPARE(m_chart->BottomMax(), 99.0);
    QVERIFY(!m_chart->BottomAxisFixed());
    QCOMPARE(m_chart->chart()->axes(Qt::Horizontal).front()->property("max").toDouble(), 99.0);
}

void TestLevelChart::sameValuesGetARange()
{
    m_chart->Add(105.0, TimeLabel(0), kRed);
    QVERIFY(m_chart->LeftMin() < 105.0 && 105.0 < m_chart->LeftMax());
    QVERIFY(m_chart->BottomMin() < m_chart->BottomMax());
    m_chart->Add(105.0, TimeLabel(1), kRed);
    m_chart->Add(105.0, TimeLabel(2), kRed);
    QVERIFY(m_chart->LeftMin() < 105.0 && 105.0 < m_chart->LeftMax());
    QCOMPARE(m_chart->BottomMax(), 2.0);
    QVERIFY(!Grab().isNull());
}

void TestLevelChart::drawsDecimatedWithSpikes()
{
    // 100k points with two one-point spikes: what the line along the area is
    // handed follows the plot's width, and both spikes are among it.
    const int n = 100000;
    for (int i = 0; i < n; ++i) {
        double v = 110.0 + 5.0 * std::sin(i / 500.0);
        if (i == 12345)
            v = 160.0;
        if (i == 87654)
            v = 60.0;
        m_chart->Add(v, TimeLabel(i), kRed);
    }
    QCoreApplication::processEvents();
    QLineSeries* line = nullptr;
    for (QAbstractSeries* s : m_chart->chart()->series()) {
        if (s->type() == QAbstractSeries::SeriesTypeLine)
            line = static_cast<QLineSeries*>(s);
    }
    QVERIFY(line);
    const QList<QPointF> drawn = line->points();
    const double columns = std::ceil(m_chart->chart()->plotArea().width());
    QCOMPARE(m_chart->PlotColumns(), int(columns));
    QVERIFY(Series1()->upperSeries()->count() <= drawn.size());
    QCOMPARE(m_chart->DrawnPoints(), drawn.size() + Series1()->upperSeries()->count());
    QVERIFY2(drawn.size() <= LevelDecimator::kMaxPerColumn * columns + 2, qPrintable(QString::number(drawn.size())));
    QVERIFY(drawn.contains(QPointF(12345, 160.0)));
    QVERIFY(drawn.contains(QPointF(87654, 60.0)));
    QCOMPARE(drawn.front().x(), 0.0);
    QCOMPARE(drawn.back().x(), n - 1.0);

    // After a pan the series is handed only the new visible stretch.
    m_chart->PanBottomAxis(-90000.0);
    const QList<QPointF> panned = line->points();
    QVERIFY(panned.back().x() <= 9999.0 + 1.0);
    QVERIFY(panned.size() <= LevelDecimator::kMaxPerColumn * columns + 2);
}

void TestLevelChart::areaTakesThePointColours()
{
    // All red: the area is red under the line, and the line is drawn along
    // its top. Then a blue stretch takes its own colour.
    for (int i = 0; i < 100; ++i)
        m_chart->Add(120.0 + (i % 2), TimeLabel(i), kRed);
    for (int i = 100; i < 200; ++i)
        m_chart->Add(120.0 + (i % 2), TimeLabel(i), QColor(0, 0, 255));
    const QImage image = Grab();
    const QRectF plot = m_chart->chart()->mapRectToScene(m_chart->chart()->plotArea());
    const QPoint offset = m_chart->viewport()->mapTo(m_chart.get(), QPoint(0, 0));
    const int y = static_cast<int>(plot.bottom()) - 6 + offset.y();
    // At a high point of each stretch (odd points are the higher ones), where
    // the area reaches well above the sampled row.
    const int xLeft = static_cast<int>(std::lround(plot.left() + plot.width() * 49.0 / 199.0)) + offset.x();
    const int xRight = static_cast<int>(std::lround(plot.left() + plot.width() * 149.0 / 199.0)) + offset.x();
    QCOMPARE(image.pixelColor(xLeft, y), kRed);
    QCOMPARE(image.pixelColor(xRight, y), QColor(0, 0, 255));
}

void TestLevelChart::printRect_data()
{
    QTest::addColumn<int>("W");
    QTest::addColumn<int>("H");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("bottom");
    QTest::newRow("4800 x 6600") << 4800 << 6600 << 720 << 2574 << 4080 << 4026;
    // float(10.70) = 10.69999980926513671875; 15 times that is
    // 160.49999713897705078125, whose nearest float is 160.5: a tie, so 160.
    // In double 1070 * 0.01 * 15 is 160.50000000000003 and would give 161.
    // H: float(11.5) * 39 = 448.5 exactly, a tie that goes to the even 448
    // (449 when halves are rounded up).
    QTest::newRow("float products and ties") << 1070 << 1150 << 160 << 448 << 910 << 702;
    // 30 * 0.01 * 15 = 4.5 (in float too): even 4, not 5. 39 * float(0.3) = 11.7000005: 12.
    QTest::newRow("small page") << 30 << 30 << 4 << 12 << 26 << 18;
    QTest::newRow("empty page") << 0 << 0 << 0 << 0 << 0 << 0;
}

void TestLevelChart::printRect()
{
    QFETCH(int, W);
    QFETCH(int, H);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, right);
    QFETCH(int, bottom);
    const QRect r = LevelChart::PrintRect(W, H);
    QCOMPARE(r.left(), left);
    QCOMPARE(r.top(), top);
    QCOMPARE(r.right(), right);
    QCOMPARE(r.bottom(), bottom);
}

void TestLevelChart::renderPageStaysInsideRectangle()
{
    AddLevels(300);
    QCoreApplication::processEvents();
    // A page of another shape than the chart: the drawing is stretched to the
    // rectangle and nothing lands outside it.
    const int W = 700;
    const int H = 1000;
    const QRgb untouched = qRgb(1, 2, 3);
    QImage page(W, H, QImage::Format_RGB32);
    page.fill(untouched);
    {
        QPainter painter(&page);
        m_chart->RenderPage(painter, W, H);
    }
    const QRect r = LevelChart::PrintRect(W, H);
    const QRect inside(QPoint(r.left(), r.top()), QPoint(r.right() - 1, r.bottom() - 1));
    int outsideTouched = 0;
    int red = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const QRgb px = page.pixel(x, y);
            if (!inside.contains(x, y))
                outsideTouched += px != untouched;
            else
                red += px == qRgb(255, 0, 0);
        }
    }
    QCOMPARE(outsideTouched, 0);
    QVERIFY(red > inside.width() * inside.height() / 10);
    // The chart fills the rectangle to its corners.
    QVERIFY(page.pixel(inside.topLeft()) != untouched);
    QVERIFY(page.pixel(inside.bottomRight()) != untouched);
    QVERIFY(page.pixel(inside.topRight()) != untouched);
    QVERIFY(page.pixel(inside.bottomLeft()) != untouched);
}

void TestLevelChart::printsOnePdfPage()
{
    AddLevels(300);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("chart.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    m_chart->PrintTo(printer);
    QCOMPARE(printer.docName(), QStringLiteral("chtFastLine1"));
    QFile pdf(file);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF"));
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![A-Za-z])"));
    QCOMPARE(QString::fromLatin1(bytes).count(page), 1);
    // The chart is still there and still drawn afterwards.
    QCOMPARE(m_chart->Count(), 300);
    QVERIFY(!Grab().isNull());
}

void TestLevelChart::printFailureThrows()
{
    AddLevels(10);
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("missing/folder/chart.pdf")));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_chart->PrintTo(printer));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing/folder/chart.pdf"))));
    QCOMPARE(m_chart->Count(), 10);
    QVERIFY(!Grab().isNull());
}

void TestLevelChart::outlierNeverLaysOutThousandsOfTicks()
{
    // A reading corrupted by line noise can stretch the left axis a
    // thousandfold. Qt Charts lays the axis out as soon as its range
    // changes, building an item per tick: the interval must already suit
    // the new range at that moment.
    auto* left = qobject_cast<QValueAxis*>(m_chart->chart()->axes(Qt::Vertical).value(0));
    QVERIFY(left);
    double worstTicks = 0;
    connect(left, &QValueAxis::rangeChanged, this, [&](double min, double max) {
        if (left->tickType() == QValueAxis::TicksDynamic && left->tickInterval() > 0)
            worstTicks = std::max(worstTicks, (max - min) / left->tickInterval());
    });
    m_chart->Add(123.0, QStringLiteral("14:05:09"), kRed);
    m_chart->Add(122.5, QStringLiteral("14:05:11"), kRed);
    QTRY_COMPARE(left->max(), 123.0);
    m_chart->Add(-2877.0, QStringLiteral("14:05:13"), kRed);
    QTRY_COMPARE(left->min(), -2877.0);
    QVERIFY2(worstTicks <= 50, qPrintable(QString::number(worstTicks)));
    m_chart->Add(-1.2e12, QStringLiteral("14:05:15"), kRed);
    QTRY_COMPARE(left->min(), -1.2e12);
    QVERIFY2(worstTicks <= 50, qPrintable(QString::number(worstTicks)));
}

void TestLevelChart::timeLabelsDrawnWhole_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<bool>("panned");
    QTest::newRow("3 points") << 3 << false;
    QTest::newRow("21 points") << 21 << false;
    QTest::newRow("201 points") << 201 << false;
    QTest::newRow("201 points, panned") << 201 << true;
    QTest::newRow("6500 points") << 6500 << false;
}

void TestLevelChart::timeLabelsDrawnWhole()
{
    QFETCH(int, points);
    QFETCH(bool, panned);
    m_chart->ConfigureAtActivation();
    AddLevels(points);
    if (panned)
        m_chart->PanBottomAxis(-7.5);
    Grab();

    static const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    const QRectF view = QRectF(m_chart->viewport()->rect());
    QStringList drawn;
    for (QGraphicsItem* item : m_chart->scene()->items()) {
        auto* text = dynamic_cast<QGraphicsTextItem*>(item);
        if (!text || !text->isVisible() || text->toPlainText().trimmed().isEmpty())
            continue;
        const QString label = text->toPlainText();
        if (label.contains(QLatin1Char(':'))) {
            // A time label, whole and inside the chart's own area.
            QVERIFY2(time.match(label).hasMatch(), qPrintable(label));
            const QRectF at = m_chart->mapFromScene(text->sceneBoundingRect()).boundingRect();
            const QRectF ink = QRectF(at.left() + text->document()->documentMargin(), at.top(),
                                      at.width() - 2 * text->document()->documentMargin(), at.height());
            QVERIFY2(view.contains(ink), qPrintable(QStringLiteral("%1 at %2..%3, view 0..%4")
                                                        .arg(label)
                                                        .arg(ink.left())
                                                        .arg(ink.right())
                                                        .arg(view.right())));
            drawn.append(label);
        }
    }
    QVERIFY(!drawn.isEmpty());
    // Unpanned, the last point's label is the one at the right edge.
    if (!panned && points == 3)
        QVERIFY(drawn.contains(TimeLabel(points - 1)));
}

QTEST_MAIN(TestLevelChart)
#include "TestLevelChart.moc"

void TestLevelChart::timeAxisKeepsItsLabelItems()
{
    // Qt Charts keeps a text item of some 20 KiB for every category. Over a
    // long capture the time labels grow in number and halve whenever the
    // step doubles; their items must not follow that swing.
    m_chart->ConfigureAtActivation();
    auto* axis = qobject_cast<QCategoryAxis*>(m_chart->chart()->axes(Qt::Horizontal).front());
    QVERIFY(axis);
    qsizetype fewestLabels = -1, mostLabels = 0;
    int fewestItems = -1, mostItems = 0;
    for (int i = 0; i < 12000; ++i) {
        m_chart->Add(110.0, TimeLabel(i), kRed);
        if (i < 100 || i % 100 != 0)
            continue;
        QCoreApplication::processEvents();
        qsizetype labels = 0;
        for (const QString& text : axis->categoriesLabels())
            labels += text.trimmed().isEmpty() ? 0 : 1;
        fewestLabels = fewestLabels < 0 ? labels : std::min(fewestLabels, labels);
        mostLabels = std::max(mostLabels, labels);
        fewestItems = fewestItems < 0 ? axis->count() : std::min(fewestItems, axis->count());
        mostItems = std::max(mostItems, axis->count());
    }
    // The labels did swing: the step doubled on the way.
    QVERIFY2(mostLabels - fewestLabels >= 4, qPrintable(QStringLiteral("%1..%2").arg(fewestLabels).arg(mostLabels)));
    QVERIFY2(mostItems - fewestItems <= 1, qPrintable(QStringLiteral("%1..%2").arg(fewestItems).arg(mostItems)));
}
