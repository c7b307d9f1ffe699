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
    renderer_.render(&painter, QRectF(rect()));
}

}  // namespace tolvane
