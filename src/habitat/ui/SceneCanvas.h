#pragma once

#include <QImage>
#include <QWidget>

namespace habitat {

// The scene canvas: shows the frame of the last pass, unscaled from its
// top-left corner. A new frame is shown with one repaint, so the scene never
// flickers. Until the first pass it shows the design-time night scene.
class SceneCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit SceneCanvas(QWidget *parent = nullptr);

    void showFrame(const QImage &frame);
    [[nodiscard]] const QImage &frame() const { return m_frame; }

Q_SIGNALS:
    // The pointer moved over the scene, with or without a button held.
    void mouseMoved(const QPoint &position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QImage m_frame;
};

} // namespace habitat
