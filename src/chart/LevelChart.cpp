#include "LevelChart.h"

#include "LevelDecimator.h"
#include "NumberText.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QScopeGuard>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

const QString kDesignTitle = QStringLiteral("RF at input of K4, in dbm below zero");
const QString kActivationTitle = QStringLiteral("K4 input level in dbm below zero");
// The labels are the local time of day, so the axis says so.
const QString kBottomTitle = QStringLiteral("Local Time");
const QString kLeftTitle = QStringLiteral("DB down from 0");

const QColor kLineColour(68, 102, 163);
const QColor kGradientTop(255, 255, 255);
const QColor kGradientBottom(108, 145, 147);
const QColor kLeftTickColour(128, 128, 128, 130);
const QColor kDefaultFill(255, 0, 0);
// Space between the plot area and the chart's edges.
const QMargins kChartMargins(6, 4, 14, 4);
// The chart library draws each axis label with this much room on either side.
constexpr double kLabelItemMargin = 4.0;
// A label's text stays whole while its share of the axis is at least this
// much wider than the text: that padding on either side, and a few pixels
// the label item adds to the text.
constexpr double kLabelShareSpare = 2.0 * kLabelItemMargin + 3.0;

// 1, 2 or 5 times a power of ten, at least `minimum`.
double NiceStep(double minimum)
{
    if (!(minimum > 0.0) || !std::isfinite(minimum))
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(minimum)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= minimum * (1.0 - 1e-12))
            return m * power;
    }
    return 10.0 * power;
}

}  // namespace

LevelChart::LevelChart(QWidget* parent) : QChartView(parent), m_titleText(kDesignTitle)
{
    setRenderHint(QPainter::Antialiasing, true);
    setRubberBand(QChartView::NoRubberBand);
    setDragMode(QGraphicsView::NoDrag);
    // The lowered bevel around the chart panel.
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);

    QChart* c = chart();
    c->setAnimationOptions(QChart::NoAnimation);
    c->setBackgroundRoundness(0);
    c->setDropShadowEnabled(false);
    c->layout()->setContentsMargins(0, 0, 0, 0);
    QLinearGradient gradient(0.0, 0.0, 0.0, 1.0);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0.0, kGradientTop);
    gradient.setColorAt(1.0, kGradientBottom);
    c->setBackgroundBrush(gradient);
    c->setBackgroundPen(Qt::NoPen);
    c->setPlotAreaBackgroundVisible(false);
    c->setAcceptHoverEvents(false);

    m_area = new QAreaSeries;
    m_upper = new QLineSeries(m_area);
    m_area->setUpperSeries(m_upper);
    m_area->setName(QStringLiteral("Series1"));
    m_area->setObjectName(QStringLiteral("Series1"));
    // The area's own outline would also run down its sides and along the
    // bottom; the line along the top is a separate series without an area.
    m_area->setPen(Qt::NoPen);
    m_area->setBrush(kDefaultFill);
    m_area->setPointsVisible(false);
    m_line = new QLineSeries;
    m_line->setName(QStringLiteral("Series1"));
    m_line->setObjectName(QStringLiteral("Series1Line"));
    QPen linePen(kLineColour, 1.0);
    linePen.setCosmetic(true);
    m_line->setPen(linePen);
    m_line->setPointsVisible(false);
    c->addSeries(m_area);
    c->addSeries(m_line);
    for (QLegendMarker* marker : c->legend()->markers(m_line))
        marker->setVisible(false);

    m_axisX = new QCategoryAxis;
    m_axisX->setObjectName(QStringLiteral("BottomAxis"));
    m_axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_axisX->setTitleText(kBottomTitle);
    m_axisX->setRange(0.0, 1.0);
    AddBlankCategoryIfEmpty();
    m_axisY = new QValueAxis;
    m_axisY->setObjectName(QStringLiteral("LeftAxis"));
    m_axisY->setTitleText(kLeftTitle);
    m_axisY->setTickType(QValueAxis::TicksDynamic);
    m_axisY->setTickAnchor(0.0);
    // Dynamic ticks need an interval before the first range change, or the
    // axis has no ticks and Qt Charts leaves it out of the layout.
    UpdateLeftTicks(m_axisY->min(), m_axisY->max());
    c->addAxis(m_axisX, Qt::AlignBottom);
    c->addAxis(m_axisY, Qt::AlignLeft);
    for (QAbstractSeries* s : {static_cast<QAbstractSeries*>(m_area), static_cast<QAbstractSeries*>(m_line)}) {
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
    }
    ApplyAxisWidths(m_axisWidth);
    ApplyFonts();
    ApplyTitle();

    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(0);
    connect(&m_refreshTimer, &QTimer::timeout, this, &LevelChart::Refresh);
    connect(c, &QChart::plotAreaChanged, this, &LevelChart::OnPlotAreaChanged);
    Refresh();
}

LevelChart::~LevelChart() = default;

qsizetype LevelChart::Add(double value, const QString& label, const QColor& color)
{
    const qsizetype x = m_store.Append(value, label, color.rgba());
    // Many points may arrive before the next paint; they share one refresh.
    ScheduleRefresh();
    return x;
}

qsizetype LevelChart::Count() const
{
    return m_store.Count();
}

double LevelChart::YValue(qsizetype index) const
{
    return m_store.Y(index);
}

QString LevelChart::Label(qsizetype index) const
{
    return m_store.Label(index);
}

QColor LevelChart::PointColor(qsizetype index) const
{
    return QColor::fromRgba(m_store.Colour(index));
}

void LevelChart::ConfigureAtActivation()
{
    // Points are always clipped to the plot area here: the chart library
    // offers no unclipped drawing, and only the visible range is handed to
    // the series anyway. A first label rounded to the axis increment does not
    // arise either, as every label sits at its own point, and the chart is
    // always flat; those three settings need no action.
    m_titleVisible = true;
    ApplyTitle();
    chart()->legend()->setVisible(false);
    ApplyAxisWidths(1);
    m_titleText = kActivationTitle;
    ApplyTitle();
}

QString LevelChart::TitleText() const
{
    return m_titleText;
}

double LevelChart::BottomMin() const
{
    return m_bottomFixed ? m_fixedMin : 0.0;
}

double LevelChart::BottomMax() const
{
    if (m_bottomFixed)
        return m_fixedMax;
    // A single point (or none) gives no span; show one unit from 0.
    const qsizetype n = m_store.Count();
    return n > 1 ? static_cast<double>(n - 1) : 1.0;
}

double LevelChart::LeftMin() const
{
    if (m_store.Count() == 0)
        return 0.0;
    return m_store.MinY() < m_store.MaxY() ? m_store.MinY() : m_store.MinY() - 1.0;
}

double LevelChart::LeftMax() const
{
    if (m_store.Count() == 0)
        return 1.0;
    return m_store.MinY() < m_store.MaxY() ? m_store.MaxY() : m_store.MaxY() + 1.0;
}

bool LevelChart::BottomAxisFixed() const
{
    return m_bottomFixed;
}

QRect LevelChart::PrintRect(int W, int H)
{
    const float w = static_cast<float>(W * 0.01);
    const float h = static_cast<float>(H * 0.01);
    // The margins are products in single precision, as the printout has always
    // used; widening them to double for the rounding is exact.
    const int left = static_cast<int>(RoundHalfEven(double(15.0f * w)));
    const int top = static_cast<int>(RoundHalfEven(double(39.0f * h)));
    QRect r;
    r.setCoords(left, top, W - left, H - top);
    return r;
}

void LevelChart::RenderPage(QPainter& painter, int W, int H)
{
    if (m_refreshTimer.isActive())
        Refresh();
    const QRect r = PrintRect(W, H);
    const QRectF target(r.left(), r.top(), r.right() - r.left(), r.bottom() - r.top());
    if (target.width() <= 0 || target.height() <= 0)
        return;
    painter.save();
    painter.setClipRect(target, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    render(&painter, target, viewport()->rect(), Qt::IgnoreAspectRatio);
    painter.restore();
}

void LevelChart::PrintTo(QPrinter& printer)
{
    // The screen is redrawn afterwards whatever happens to the job.
    const auto redraw = qScopeGuard([view = viewport()] { view->update(); });

    printer.setDocName(QStringLiteral("chtFastLine1"));
    QPainter painter;
    if (!painter.begin(&printer)) {
        printer.abort();
        throw std::runtime_error("The printer could not start the print job.");
    }
    try {
        const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
        RenderPage(painter, page.width(), page.height());
    } catch (...) {
        printer.abort();
        painter.end();
        throw;
    }
    const bool ended = painter.end();
    if (!ended || printer.printerState() == QPrinter::Error) {
        printer.abort();
        throw std::runtime_error("The printer reported an error while printing the chart.");
    }
}

std::size_t LevelChart::StoredBytes() const
{
    return m_store.MemoryBytes();
}

void LevelChart::PanBottomAxis(double deltaX)
{
    SetBottomRange(BottomMin() + deltaX, BottomMax() + deltaX);
}

void LevelChart::mousePressEvent(QMouseEvent* event)
{
    // The scene gets no mouse events: no hover, no selection, no zoom.
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragStartX = event->position().x();
        m_dragStartMin = BottomMin();
        m_dragStartMax = BottomMax();
    }
    event->accept();
}

void LevelChart::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (!m_dragging)
        return;
    const double dx = event->position().x() - m_dragStartX;
    const double width = chart()->plotArea().width();
    if (dx == 0.0 || !(width > 0.0))
        return;
    // The content follows the mouse: dragging right brings earlier points in.
    const double delta = -dx * (m_dragStartMax - m_dragStartMin) / width;
    SetBottomRange(m_dragStartMin + delta, m_dragStartMax + delta);
}

void LevelChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    event->accept();
}

void LevelChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void LevelChart::wheelEvent(QWheelEvent* event)
{
    // The wheel neither zooms nor pans a flat chart.
    event->accept();
}

void LevelChart::changeEvent(QEvent* event)
{
    QChartView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        ApplyFonts();
        m_lastColumns = -1;
        ScheduleRefresh();
    }
}

void LevelChart::drawForeground(QPainter* painter, const QRectF& rect)
{
    QChartView::drawForeground(painter, rect);
    // The left axis pen is the tick colour (the library draws ticks and axis
    // line with one pen); the axis line itself is drawn black over it.
    const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QPen(Qt::black, m_axisWidth, Qt::SolidLine, Qt::FlatCap));
    painter->drawLine(plot.bottomLeft(), plot.topLeft());
    painter->restore();
}

void LevelChart::ScheduleRefresh()
{
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

void LevelChart::OnPlotAreaChanged()
{
    if (PlotColumns() != m_lastColumns)
        ScheduleRefresh();
}

int LevelChart::PlotColumns() const
{
    const double width = chart()->plotArea().width() * devicePixelRatioF();
    return std::max(1, static_cast<int>(std::ceil(std::min(width, 1e6))));
}

qsizetype LevelChart::DrawnPoints() const
{
    return m_line->count() + m_upper->count();
}

void LevelChart::SetBottomRange(double min, double max)
{
    m_bottomFixed = true;
    m_fixedMin = min;
    m_fixedMax = max;
    // A pan is answered at once so the drag feels direct.
    Refresh();
}

void LevelChart::Refresh()
{
    m_refreshTimer.stop();
    const double xMin = BottomMin();
    const double xMax = BottomMax();
    const double yMin = LeftMin();
    const double yMax = LeftMax();
    UpdateBottomLabels(xMin, xMax);
    if (m_axisX->min() != xMin || m_axisX->max() != xMax)
        m_axisX->setRange(xMin, xMax);
    if (m_axisY->min() != yMin || m_axisY->max() != yMax) {
        // The new tick interval first: laid out with the old, fine interval,
        // a range grown by an outlier would make Qt Charts build a label
        // item for each of thousands of ticks (seconds and megabytes).
        UpdateLeftTicks(yMin, yMax);
        m_axisY->setRange(yMin, yMax);
    }

    const int columns = PlotColumns();
    QList<qsizetype> indices;
    const QList<QPointF> points = LevelDecimator::Reduce(m_store, xMin, xMax, columns, &indices);
    QList<qsizetype> topIndices;
    const QList<QPointF> top = LevelDecimator::TopEdge(points, indices, xMin, xMax, columns, &topIndices);
    UpdateAreaBrush(top, topIndices);
    m_upper->replace(top);
    m_line->replace(points);
    m_lastColumns = columns;
}

void LevelChart::UpdateBottomLabels(double xMin, double xMax)
{
    QList<double> positions;
    QStringList texts;
    const qsizetype n = m_store.Count();
    const double plotWidth = chart()->plotArea().width();
    const QFontMetricsF fm(m_axisX->labelsFont());
    const double gap = fm.averageCharWidth() * 2.0;
    double widestText = fm.horizontalAdvance(QStringLiteral("00:00:00"));
    double labelWidth = widestText + gap;
    if (n > 0 && plotWidth > 0.0 && xMax > xMin) {
        const double lo = std::max(xMin, 0.0);
        const double hi = std::min(xMax, static_cast<double>(n - 1));
        // Labels sit at multiples of a round step so they keep their places
        // while the chart is panned; the step leaves room for the widest one.
        for (int pass = 0; pass < 2; ++pass) {
            const double step = NiceStep(std::max(1.0, labelWidth * (xMax - xMin) / plotWidth));
            positions.clear();
            texts.clear();
            double widest = 0.0;
            if (lo <= hi) {
                for (double k = std::ceil(lo / step); k * step <= hi; k += 1.0) {
                    const double x = k * step;
                    const QString text = m_store.Label(static_cast<qsizetype>(x));
                    // The axis keys its labels by text; a repeat is left out.
                    if (texts.contains(text))
                        continue;
                    positions.append(x);
                    texts.append(text);
                    widest = std::max(widest, fm.horizontalAdvance(text) + gap);
                    widestText = std::max(widestText, fm.horizontalAdvance(text));
                }
            }
            if (widest <= labelWidth)
                break;
            labelWidth = widest;
        }
    }
    if (positions == m_labelPositions && texts == m_labelTexts && xMax < m_spareLabelsFrom)
        return;
    for (const QString& old : m_axisX->categoriesLabels())
        m_axisX->remove(old);
    m_axisX->setStartValue(positions.isEmpty() ? xMin : std::min(xMin, positions.front()));
    for (qsizetype i = 0; i < positions.size(); ++i)
        m_axisX->append(texts[i], positions[i]);
    AddBlankCategoryIfEmpty();
    // Qt Charts keeps a text item of some 20 KiB for every category, shown or
    // not. As points come in, the time labels grow from about half of what
    // fits to all of it; then the step doubles and they halve again. Blank
    // categories far past the right end make up the difference, so the items,
    // and with them the memory, stay at what fits through a run of days
    // instead of following that swing. They start a whole range past the
    // right end and are placed anew once the range reaches them.
    // Qt Charts shortens a label wider than its share of the axis: the
    // chart's width inside its margins, shared among all categories and
    // their start, less 4 px of padding each side. There are never more
    // categories than leave the widest label a few pixels to spare.
    const double axisWidth = chart()->size().width() - chart()->margins().left() - chart()->margins().right();
    const qsizetype room
        = plotWidth > 0.0 ? static_cast<qsizetype>(axisWidth / (widestText + kLabelShareSpare)) - 1 : 0;
    m_spareLabelsFrom = std::max(xMax, m_axisX->max()) + (xMax - xMin) + 1.0;
    double spareAt = m_spareLabelsFrom;
    QString blank;
    while (m_axisX->count() < room) {
        blank += QLatin1Char(' ');
        if (m_axisX->categoriesLabels().contains(blank))
            continue;
        m_axisX->append(blank, spareAt);
        spareAt += 1.0;
    }
    m_labelPositions = positions;
    m_labelTexts = texts;
}

void LevelChart::AddBlankCategoryIfEmpty()
{
    // Qt Charts gives a category axis without a single category no room in
    // the layout: both axes vanish and their titles pile up in the corner.
    if (m_axisX->count() == 0)
        m_axisX->append(QStringLiteral(" "), m_axisX->max());
}

void LevelChart::UpdateLeftTicks(double yMin, double yMax)
{
    const double step = NiceStep((yMax - yMin) / 6.0);
    m_axisY->setTickInterval(step);
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 6);
    m_axisY->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

void LevelChart::UpdateAreaBrush(const QList<QPointF>& points, const QList<qsizetype>& indices)
{
    if (indices.isEmpty())
        return;
    const QRgb firstColour = m_store.Colour(indices.front());
    bool single = m_store.SingleColour();
    if (!single) {
        single = std::all_of(indices.begin(), indices.end(),
                             [&](qsizetype i) { return m_store.Colour(i) == firstColour; });
    }
    if (single || points.size() < 2) {
        m_area->setBrush(QColor::fromRgba(firstColour));
        return;
    }
    // Each point colours the stretch of area that leads up to it. A
    // horizontal gradient over the area's own bounding box, with a hard
    // change at every colour boundary, paints that in one fill.
    const double x0 = points.front().x();
    const double span = points.back().x() - x0;
    QGradientStops stops;
    stops.append({0.0, QColor::fromRgba(m_store.Colour(indices[1]))});
    for (qsizetype j = 2; j < indices.size(); ++j) {
        const QRgb before = m_store.Colour(indices[j - 1]);
        const QRgb after = m_store.Colour(indices[j]);
        if (before == after)
            continue;
        const double at = (points[j - 1].x() - x0) / span;
        stops.append({at, QColor::fromRgba(before)});
        stops.append({std::nextafter(at, 2.0), QColor::fromRgba(after)});
    }
    stops.append({1.0, QColor::fromRgba(m_store.Colour(indices.back()))});
    QLinearGradient gradient(0.0, 0.0, 1.0, 0.0);
    gradient.setCoordinateMode(QGradient::ObjectMode);
    gradient.setStops(stops);
    m_area->setBrush(gradient);
}

void LevelChart::ApplyTitle()
{
    chart()->setTitle(m_titleVisible ? m_titleText : QString());
}

void LevelChart::ApplyFonts()
{
    const QFont base = font();
    QFont title = base;
    title.setBold(true);
    if (base.pixelSize() > 0)
        title.setPixelSize(base.pixelSize() + 2);
    else
        title.setPointSizeF(base.pointSizeF() + 1.5);
    chart()->setTitleFont(title);
    chart()->setTitleBrush(QColor(0, 0, 128));
    // The last time label can sit on the plot's right edge, centred on its
    // point: the margin on that side holds half a label, so the label is
    // drawn whole instead of being cut by the chart's edge.
    const QFontMetricsF fm(base);
    const double label = fm.horizontalAdvance(QStringLiteral("00:00:00"));
    QMargins margins = kChartMargins;
    margins.setRight(std::max(kChartMargins.right(), static_cast<int>(std::ceil(label / 2.0 + kLabelItemMargin)) + 1));
    if (chart()->margins() != margins)
        chart()->setMargins(margins);
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(m_axisX), static_cast<QAbstractAxis*>(m_axisY)}) {
        axis->setLabelsFont(base);
        axis->setTitleFont(base);
        axis->setLabelsColor(Qt::black);
        axis->setTitleBrush(QColor(Qt::black));
    }
}

void LevelChart::ApplyAxisWidths(int width)
{
    m_axisWidth = width;
    m_axisX->setLinePen(QPen(Qt::black, width));
    m_axisY->setLinePen(QPen(kLeftTickColour, width));
    viewport()->update();
}
