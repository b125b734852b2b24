#include "InkColumns.h"
#include "ScaleLabel.h"

#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QTest>

#include <memory>

namespace {

const QString kDbmScale = QStringLiteral(
    "-121  -109        -97       -85        -73      -63       -53        -43        -33        -20           -10     "
    "dBm");
const QString kSUnitScale = QStringLiteral(
    "1        3             5          7            9       +10      +20       +30       +40       +50         +60   "
    "S-Units");

}  // namespace

// The meter scales keep the design's width and mark positions whatever font
// the machine has: the design font's marks land on the bar, others must too.
class TestScaleLabel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void marksSitWhereTheDesignPutsThem_data();
    void marksSitWhereTheDesignPutsThem();
};

void TestScaleLabel::initTestCase()
{
    // The window loads Wine's metric-compatible Tahoma when fontconfig lacks one.
    const QString wineTahoma = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (!QFontDatabase::hasFamily(QStringLiteral("Tahoma")) && QFile::exists(wineTahoma))
        QFontDatabase::addApplicationFont(wineTahoma);
}

void TestScaleLabel::marksSitWhereTheDesignPutsThem_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("designWidth");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<double>("markCentre");
    // Centres of "-10" and "+60" as Tahoma 11 px spaces the captions: the last
    // marks, where any error in the spacing has added up.
    for (const QString& family : {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"),
                                  QStringLiteral("DejaVu Serif"), QStringLiteral("DejaVu Sans Mono")}) {
        QTest::addRow("dBm scale, %s", qPrintable(family))
            << family << kDbmScale << 442 << QStringLiteral("-10") << 399.0;
        QTest::addRow("S-unit scale, %s", qPrintable(family))
            << family << kSUnitScale << 451 << QStringLiteral("+60") << 398.0;
    }
}

void TestScaleLabel::marksSitWhereTheDesignPutsThem()
{
    QFETCH(QString, family);
    QFETCH(QString, caption);
    QFETCH(int, designWidth);
    QFETCH(QString, mark);
    QFETCH(double, markCentre);
    if (!QFontDatabase::hasFamily(family))
        QSKIP(qPrintable(family + QStringLiteral(" is not installed")));

    ScaleLabel label;
    QFont font(family);
    font.setPixelSize(11);
    label.setFont(font);
    label.setText(caption);
    label.setGeometry(0, 0, designWidth, 13);

    const QImage image = label.grab().toImage();
    const auto [first, last] = InkColumns(image);
    QVERIFY(first >= 0);
    const int rendered = last - first + 1;
    QVERIFY2(std::abs(rendered - designWidth) <= 2,
             qPrintable(QStringLiteral("%1 px drawn, %2 designed").arg(rendered).arg(designWidth)));

    const QList<ScaleLabel::Piece> pieces = label.pieces();
    const QList<QRectF> rects = label.pieceRects();
    QCOMPARE(rects.size(), pieces.size());
    qsizetype at = -1;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (pieces[i].text == mark)
            at = i;
    }
    QVERIFY(at > 0);
    QVERIFY(std::abs(rects[at].center().x() - markCentre) <= 0.5);
    // Neighbouring pieces never run into each other, however wide the font.
    for (qsizetype i = 1; i < rects.size(); ++i)
        QVERIFY(rects[i].left() >= rects[i - 1].right());
}

QTEST_MAIN(TestScaleLabel)
#include "TestScaleLabel.moc"
