#pragma once

#include "LevelPointStore.h"

#include <QChartView>
#include <QColor>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>

class QAreaSeries;
class QCategoryAxis;
class QLineSeries;
class QPainter;
class QPrinter;
class QValueAxis;

// The level chart chtFastLine1 with its one area series Series1. Holds every
// point appended since the program started; draws a per-pixel-column
// reduction of the visible range so drawing cost follows the width, not the
// number of points.
class LevelChart : public QChartView {
    Q_OBJECT
public:
    explicit LevelChart(QWidget* parent = nullptr);
    ~LevelChart() override;

    // Appends a point with X = number of points held before it; returns that X.
    qsizetype Add(double value, const QString& label, const QColor& color);
    qsizetype Count() const;
    double YValue(qsizetype index) const;
    QString Label(qsizetype index) const;
    QColor PointColor(qsizetype index) const;

    // The settings the window applies once at its first activation, in order:
    // clip points off, title visible, legend hidden, axis widths 1, first
    // label not rounded, 2-D, title "K4 input level in dbm below zero".
    void ConfigureAtActivation();

    QString TitleText() const;
    // Visible range of the bottom (X) and left (Y) axes.
    double BottomMin() const;
    double BottomMax() const;
    double LeftMin() const;
    double LeftMax() const;
    // True once the user has panned: the bottom axis no longer follows new points.
    bool BottomAxisFixed() const;

    // The print rectangle for a printable page of W x H printer pixels
    // (15 % left/right, 39 % top/bottom, single precision, halves to even).
    // left(), top(), right() and bottom() of the result are those four edges
    // exactly (set with QRect::setCoords); the chart covers the half-open area
    // [left, right) x [top, bottom), i.e. right - left by bottom - top pixels.
    static QRect PrintRect(int W, int H);

    // Prints the chart on the printer (job name "chtFastLine1"), stretched into
    // PrintRect of the page. Throws std::runtime_error on a printing failure
    // after aborting the job.
    void PrintTo(QPrinter& printer);

    // Draws the chart, at its on-screen size stretched to fit, into the print
    // rectangle of a W x H page on `painter`; nothing outside that rectangle
    // is touched. PrintTo uses it; it works on any paint device.
    void RenderPage(QPainter& painter, int W, int H);

    // Bytes held for the points (values, labels, colours and search tree).
    std::size_t StoredBytes() const;

    // The pixel columns of the plot, and the points handed to Qt Charts for
    // drawing them (the line and the area's edge together). Qt Charts keeps
    // geometry for every drawn point, so the memory of the drawing grows
    // with the points held until every column is reduced, and stays put
    // from then on: a chart about a thousand columns wide gets there after
    // about 4,000 points, two hours of a 2 s capture.
    int PlotColumns() const;
    qsizetype DrawnPoints() const;

    // Shifts the bottom axis by deltaX (in X units) and fixes it, exactly as a
    // drag with the left button does.
    void PanBottomAxis(double deltaX);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

private:
    void ScheduleRefresh();
    void Refresh();
    void OnPlotAreaChanged();
    void SetBottomRange(double min, double max);
    void UpdateBottomLabels(double xMin, double xMax);
    void AddBlankCategoryIfEmpty();
    void UpdateLeftTicks(double yMin, double yMax);
    void UpdateAreaBrush(const QList<QPointF>& points, const QList<qsizetype>& indices);
    void ApplyTitle();
    void ApplyFonts();
    void ApplyAxisWidths(int width);

    LevelPointStore m_store;
    QAreaSeries* m_area = nullptr;   // Series1, owned by the chart
    QLineSeries* m_upper = nullptr;  // the area's upper edge, owned by m_area
    QLineSeries* m_line = nullptr;   // the line drawn along that edge, owned by the chart
    QCategoryAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QTimer m_refreshTimer;

    QString m_titleText;
    bool m_titleVisible = true;
    int m_axisWidth = 2;

    bool m_bottomFixed = false;
    double m_fixedMin = 0.0;
    double m_fixedMax = 1.0;

    bool m_dragging = false;
    double m_dragStartX = 0.0;
    double m_dragStartMin = 0.0;
    double m_dragStartMax = 0.0;

    int m_lastColumns = -1;
    QList<double> m_labelPositions;
    QStringList m_labelTexts;
    double m_spareLabelsFrom = 0.0;  // where the blank categories past the labels start
};
