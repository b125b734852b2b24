#include "ScaleLabel.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Advance widths of Tahoma at 11 px (8 points at 96 dpi) as the design's
// system draws them, for the characters that position the marks.
int designAdvance(QChar c, const QFontMetricsF& current)
{
    if (c == u' ')
        return 3;
    if (c >= u'0' && c <= u'9')
        return 6;
    if (c == u'-')
        return 4;
    if (c == u'+')
        return 8;
    return static_cast<int>(std::lround(current.horizontalAdvance(c)));
}

}  // namespace

ScaleLabel::ScaleLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

QList<ScaleLabel::Piece> ScaleLabel::pieces() const
{
    const QFontMetricsF fm(font());
    const QString caption = text();
    QList<Piece> result;
    int x = 0;
    for (qsizetype i = 0; i < caption.size();) {
        if (caption.at(i) == u' ') {
            x += designAdvance(caption.at(i), fm);
            ++i;
            continue;
        }
        Piece piece;
        piece.designLeft = x;
        while (i < caption.size() && caption.at(i) != u' ') {
            piece.text.append(caption.at(i));
            piece.designWidth += designAdvance(caption.at(i), fm);
            ++i;
        }
        x += piece.designWidth;
        result.append(piece);
    }
    return result;
}

QList<QRectF> ScaleLabel::pieceRects() const
{
    const QFontMetricsF fm(font());
    const QList<Piece> all = pieces();
    QList<QRectF> rects;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const Piece& piece = all.at(i);
        // The piece's room reaches to the middle of the design gaps on either
        // side (the label's edges for the first and last), less a pixel, so
        // neighbours never touch.
        const double roomLeft
            = i == 0 ? 0.0 : (all.at(i - 1).designLeft + all.at(i - 1).designWidth + piece.designLeft) / 2.0 + 0.5;
        const double roomRight = i == all.size() - 1
                                     ? double(width())
                                     : (piece.designLeft + piece.designWidth + all.at(i + 1).designLeft) / 2.0 - 0.5;
        const double room = std::max(0.0, roomRight - roomLeft);
        const double width = std::min(fm.horizontalAdvance(piece.text), room);
        double left = piece.designLeft + (piece.designWidth - width) / 2.0;
        if (i == 0)
            left = 0.0;
        else if (i == all.size() - 1)
            left = roomRight - width;
        left = std::clamp(left, roomLeft, roomRight - width);
        rects.append(QRectF(left, 0.0, width, height()));
    }
    return rects;
}

void ScaleLabel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    const QFontMetricsF fm(font());
    const QList<Piece> all = pieces();
    const QList<QRectF> rects = pieceRects();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QRectF& r = rects.at(i);
        const double natural = fm.horizontalAdvance(all.at(i).text);
        painter.save();
        painter.translate(r.left(), 0.0);
        // A piece wider than its room in this font is narrowed to fit it.
        if (natural > r.width() && natural > 0.0)
            painter.scale(r.width() / natural, 1.0);
        painter.drawText(QRectF(0.0, 0.0, natural, r.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                         all.at(i).text);
        painter.restore();
    }
}
