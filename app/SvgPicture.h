// A picture control that draws a bundled SVG scaled to its rectangle
// (the window's banner, the About box's picture).
#pragma once

#include <QColor>
#include <QSvgRenderer>
#include <QWidget>

namespace tolvane {

class SvgPicture : public QWidget {
    Q_OBJECT
public:
    SvgPicture(const QString& resource, QWidget* parent = nullptr);
    // Drawn at its own proportions from the left edge, the rest of the
    // rectangle filled with `color` (the banner on a wide window); without
    // it the picture is stretched to the rectangle.
    void setBackdrop(const QColor& color) { backdrop_ = color; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSvgRenderer renderer_;
    QColor backdrop_;
};

}  // namespace tolvane
