#include "habitat/ui/SceneCanvas.h"

#include "habitat/FireflyScene.h"
#include "habitat/SceneSources.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace habitat {

SceneCanvas::SceneCanvas(QWidget *parent)
    : QWidget(parent)
    , m_frame(QStringLiteral(":/habitat/Back.jpg"))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    resize(CanvasWidth, CanvasHeight);
}

void SceneCanvas::showFrame(const QImage &frame)
{
    m_frame = frame;
    update();
}

void SceneCanvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    if (!m_frame.rect().contains(area))
        painter.fillRect(area, QColor::fromRgb(DarkBackground));
    painter.drawImage(area.topLeft(), m_frame, area);
}

void SceneCanvas::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT mouseMoved(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

} // namespace habitat
