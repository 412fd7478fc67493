#include "app/ui/StandbyWindow.h"

#include <QCloseEvent>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace app {
namespace {

// A sprite of a firefly sheet combined into the canvas the way the scene does
// it: its silhouette by OR, then the firefly on white by AND.
void drawFirefly(QPainter &painter, const QImage &sheet, int frame, QPoint at)
{
    painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    painter.drawImage(at, sheet, QRect(32 * frame, 32, 32, 32));
    painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    painter.drawImage(at, sheet, QRect(32 * frame, 0, 32, 32));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

} // namespace

StandbyWindow::StandbyWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Glimra"));
    setFixedSize(ClientWidth, ClientHeight);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setGeometry(0, 0, 57, 41);
    picture->setPixmap(standbyPicture());

    auto *returnButton = new QPushButton(QStringLiteral("復帰"), this);
    returnButton->setObjectName(QStringLiteral("Command1"));
    returnButton->setGeometry(56, 0, 25, 39);
    // The button is narrow: no padding, and a font just small enough for its caption.
    QFont small = returnButton->font();
    small.setPixelSize(10);
    returnButton->setFont(small);
    returnButton->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; }"));
    connect(returnButton, &QPushButton::clicked, this, &StandbyWindow::Command1_Click);
}

QPixmap StandbyWindow::standbyPicture()
{
    // A piece of the pond twice the picture's size, two fireflies on it, halved.
    QImage canvas(114, 82, QImage::Format_RGB32);
    canvas.fill(QColor(8, 10, 40));
    QPainter painter(&canvas);
    const QImage background(QStringLiteral(":/habitat/Back.jpg"));
    if (!background.isNull())
        painter.drawImage(QPoint(0, 0), background, QRect(190, 230, 114, 82));
    const QImage group1(QStringLiteral(":/habitat/fi.png"));
    const QImage group2(QStringLiteral(":/habitat/tetora.png"));
    if (!group1.isNull())
        drawFirefly(painter, group1.convertToFormat(QImage::Format_RGB32), 1, QPoint(14, 26));
    if (!group2.isNull())
        drawFirefly(painter, group2.convertToFormat(QImage::Format_RGB32), 0, QPoint(62, 22));
    painter.end();
    return QPixmap::fromImage(canvas.scaled(57, 41, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void StandbyWindow::Command1_Click()
{
    Q_EMIT returnRequested();
}

void StandbyWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window must not leave the program hidden and out of reach:
    // it brings the main window back, as "復帰" does.
    event->ignore();
    Q_EMIT returnRequested();
}

} // namespace app
