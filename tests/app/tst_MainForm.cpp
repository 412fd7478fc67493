#include "app/ui/MainForm.h"
#include "habitat/Habitat.h"
#include "habitat/ui/SceneCanvas.h"
#include "support/TempProgramFolder.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestMainForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowAndSceneCanvas()
    {
        testsupport::TempProgramFolder folder;
        habitat::Habitat habitat;
        app::MainForm form(habitat);
        QCOMPARE(form.objectName(), QStringLiteral("MainForm"));
        QCOMPARE(form.windowTitle(), QStringLiteral("グリムラランド Ver 1.0"));
        QCOMPARE(form.size(), QSize(542, 396));
        QCOMPARE(form.minimumSize(), QSize(542, 396));
        QCOMPARE(form.maximumSize(), QSize(542, 396));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);

        auto *canvas = form.findChild<habitat::SceneCanvas *>(QStringLiteral("picMain"));
        QVERIFY(canvas);
        QCOMPARE(canvas, form.sceneCanvas());
        QCOMPARE(canvas->geometry(), QRect(0, -24, 551, 420));
        // The canvas lies beneath every other control of the window.
        QCOMPARE(form.children().constFirst(), canvas);
        // Before the first pass it shows the night scene, not an empty frame.
        QCOMPARE(canvas->frame().size(), QSize(551, 420));
    }

    void canvasShowsTheFrameItIsGiven()
    {
        testsupport::TempProgramFolder folder;
        habitat::Habitat habitat;
        app::MainForm form(habitat);
        QImage frame(551, 420, QImage::Format_RGB32);
        frame.fill(QColor(1, 2, 3));
        // The window's bottom-left pixel is the canvas's pixel (0, 419); the
        // toolbar covers the top-left corner.
        frame.setPixel(0, 419, qRgb(250, 0, 0));
        form.sceneCanvas()->showFrame(frame);
        QCOMPARE(form.sceneCanvas()->frame().pixel(10, 10), qRgb(1, 2, 3));
        const QImage shown = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.pixel(0, 395), qRgb(250, 0, 0));
        QCOMPARE(shown.pixel(1, 394), qRgb(1, 2, 3));
        QCOMPARE(shown.pixel(541, 395), qRgb(1, 2, 3));
    }

    void pointerOverTheSceneIsReported()
    {
        testsupport::TempProgramFolder folder;
        habitat::Habitat habitat;
        app::MainForm form(habitat);
        auto *canvas = form.sceneCanvas();
        QVERIFY(canvas->hasMouseTracking());
        QSignalSpy moved(canvas, &habitat::SceneCanvas::mouseMoved);
        QMouseEvent move(QEvent::MouseMove, QPointF(100, 150), canvas->mapToGlobal(QPointF(100, 150)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(canvas, &move);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).toPoint(), QPoint(100, 150));
    }

    void blinkTimers()
    {
        testsupport::TempProgramFolder folder;
        habitat::Habitat habitat;
        app::MainForm form(habitat);
        auto *timer1 = form.findChild<QTimer *>(QStringLiteral("Timer1"));
        auto *timer2 = form.findChild<QTimer *>(QStringLiteral("Timer2"));
        QVERIFY(timer1 && timer2);
        QCOMPARE(timer1->interval(), 2000);
        QCOMPARE(timer2->interval(), 3000);
        QVERIFY(timer1->isActive() && timer2->isActive());

        QMetaObject::invokeMethod(timer1, "timeout", Qt::DirectConnection);
        QCOMPARE(int(habitat.scene().group(1).GlowFrame), 1);
        QCOMPARE(int(habitat.scene().group(2).GlowFrame), 0);
        QMetaObject::invokeMethod(timer2, "timeout", Qt::DirectConnection);
        QMetaObject::invokeMethod(timer1, "timeout", Qt::DirectConnection);
        QCOMPARE(int(habitat.scene().group(1).GlowFrame), 0);
        QCOMPARE(int(habitat.scene().group(2).GlowFrame), 1);
        QCOMPARE(int(habitat.scene().group(3).GlowFrame), 0);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_MainForm.moc"
