// SVG picture control.
#include "app/SvgPicture.h"

#include <QPainter>

namespace tolvane {

SvgPicture::SvgPicture(const QString& resource, QWidget* parent)
    : QWidget(parent)
    , renderer_(resource)
{
    renderer_.setAspectRatioMode(Qt::IgnoreAspectRatio);
}

void SvgPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSizeF own = renderer_.defaultSize();
    if (!backdrop_.isValid() || own.isEmpty()) {
        renderer_.render(&painter, QRectF(rect()));
        return;
    }
    painter.fillRect(rect(), backdrop_);
    const double width = own.width() * height() / own.height();
    renderer_.render(&painter, QRectF(0, 0, std::min<double>(width, this->width()), height()));
}

}  // namespace tolvane
