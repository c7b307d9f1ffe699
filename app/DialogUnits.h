// Converts the window's dialog-unit measurements to pixels with the font's
// average character width and height (x * width / 4, y * height / 8).
#pragma once

#include <QFont>
#include <QRect>

namespace tolvane {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int x(int units) const { return (units * averageWidth_ + 2) / 4; }
    int y(int units) const { return (units * height_ + 4) / 8; }
    QRect rect(int left, int top, int width, int height) const
    {
        return QRect(x(left), y(top), x(width), y(height));
    }
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }

private:
    int averageWidth_ = 6;
    int height_ = 13;
};

}  // namespace tolvane
