#pragma once

#include <QLabel>
#include <QList>
#include <QRectF>
#include <QString>

// One of the meter's two scales: a single caption whose marks ("-121",
// "+20", ...) are spaced with runs of spaces for the design's font, Tahoma at
// 11 px. Other fonts have other widths for spaces and digits, so drawing the
// caption as it is would move every mark off the bar position it names.
// Instead each mark is drawn centred where the design font puts it; the first
// piece starts at the left edge and the last one (the unit) ends at the
// right edge, so the scale spans exactly the label's design width.
class ScaleLabel : public QLabel {
    Q_OBJECT
public:
    explicit ScaleLabel(QWidget* parent = nullptr);

    // A piece of the caption (a mark or the unit) and the left edge and width
    // it has in the design font, in pixels from the start of the caption.
    struct Piece {
        QString text;
        int designLeft = 0;
        int designWidth = 0;
    };
    // The caption split at its runs of spaces. Characters the design table
    // does not hold (the unit's letters) count with the current font's widths.
    QList<Piece> pieces() const;
    // Where each piece is drawn with the current font, in widget coordinates.
    QList<QRectF> pieceRects() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
