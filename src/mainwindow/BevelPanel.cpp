#include "BevelPanel.h"

#include <QPainter>
#include <qdrawutil.h>

BevelPanel::BevelPanel(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
}

void BevelPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    qDrawShadeRect(&p, r, palette(), false, 1);                        // outer, raised
    qDrawShadeRect(&p, r.adjusted(1, 1, -1, -1), palette(), true, 1);  // inner, lowered
}
