#pragma once

#include <QImage>

#include <utility>

// Columns [first, last] of image that hold any pixel other than the colour of
// its top-left corner: how wide a drawn caption really came out. {-1, -1}
// when nothing was drawn.
inline std::pair<int, int> InkColumns(const QImage& image)
{
    const QRgb background = image.pixel(0, 0);
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixel(x, y) != background) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}
