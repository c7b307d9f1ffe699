// A picture control that draws a bundled SVG scaled to its rectangle
// (the window's banner, the About box's picture).
#pragma once

#include <QSvgRenderer>
#include <QWidget>

namespace tolvane {

class SvgPicture : public QWidget {
    Q_OBJECT
public:
    SvgPicture(const QString& resource, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSvgRenderer renderer_;
};

}  // namespace tolvane
