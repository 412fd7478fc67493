#include "common/ui/HeaderColouring.h"

#include <QApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include <memory>

namespace {

const QColor Blue(58, 119, 165);

// A report-style list of three columns, shown so its header paints.
struct ReportList
{
    explicit ReportList(const QString &styleSheet = {})
    {
        window.setStyleSheet(styleSheet);
        auto *layout = new QVBoxLayout(&window);
        list = new QTreeView(&window);
        list->setRootIsDecorated(false);
        list->setModel(&model);
        layout->addWidget(list);
        model.setHorizontalHeaderLabels({QStringLiteral("Subject"), QStringLiteral("From"), QStringLiteral("Date")});
        model.appendRow({new QStandardItem(QStringLiteral("件名")), new QStandardItem(QStringLiteral("a@example.jp")),
                         new QStandardItem(QStringLiteral("2026/12/09"))});
        list->header()->resizeSection(0, 120);
        list->header()->resizeSection(1, 120);
        window.resize(400, 200);
        window.show();
    }

    QHeaderView *header() const { return list->header(); }
    QImage headerImage() const { return header()->viewport()->grab().toImage(); }
    // The section's rectangle inside the header's viewport.
    QRect section(int index) const
    {
        return QRect(header()->sectionViewportPosition(index), 0, header()->sectionSize(index), header()->height());
    }

    QWidget window;
    QStandardItemModel model;
    QTreeView *list = nullptr;
};

bool isBlue(QRgb pixel)
{
    return QColor(pixel) == Blue;
}

// Columns of a section that hold white text pixels, counted from its left edge.
QList<int> whiteTextColumns(const QImage &image, const QRect &section)
{
    QList<int> columns;
    for (int x = section.left() + 1; x < section.right() - 1; ++x)
        for (int y = section.top() + 2; y < section.bottom() - 1; ++y)
            if (qGray(image.pixel(x, y)) > 200) {
                columns << x - section.left();
                break;
            }
    return columns;
}

} // namespace

class TestHeaderColouring : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sectionsArePaintedBlueWithWhiteText_data()
    {
        QTest::addColumn<QString>("styleSheet");
        QTest::newRow("plain window") << QString();
        QTest::newRow("window with a style sheet") << QStringLiteral("QWidget { background: rgb(192, 192, 192); }");
    }
    void sectionsArePaintedBlueWithWhiteText()
    {
        QFETCH(QString, styleSheet);
        ReportList report(styleSheet);
        QVERIFY(QTest::qWaitForWindowExposed(&report.window));
        QVERIFY(!isBlue(report.headerImage().pixel(report.section(0).center())));

        common::InstallHeaderColouring(report.list);
        const QImage image = report.headerImage();
        for (int index = 0; index < 3; ++index) {
            const QRect section = report.section(index);
            QVERIFY2(isBlue(image.pixel(section.left() + 3, section.center().y())), qPrintable(QString::number(index)));
            QVERIFY(isBlue(image.pixel(section.right() - 3, section.center().y())));
            const QList<int> text = whiteTextColumns(image, section);
            QVERIFY(!text.isEmpty());
            // Text begins 5 pixels in (a glyph may keep a pixel of side bearing).
            QVERIFY2(text.first() >= 5 && text.first() <= 7, qPrintable(QString::number(text.first())));
            // The raised edge: light at the top left, dark at the bottom right.
            QCOMPARE(QColor(image.pixel(section.left(), section.center().y())), QColor(Qt::white));
            QVERIFY(qGray(image.pixel(section.right() - 1, section.center().y())) < 100);
        }
    }

    void pressedSectionGoesFlat()
    {
        ReportList report;
        common::InstallHeaderColouring(report.list);
        QVERIFY(QTest::qWaitForWindowExposed(&report.window));
        const QRect section = report.section(1);
        QTest::mousePress(report.header()->viewport(), Qt::LeftButton, {}, section.center());
        const QImage pressed = report.headerImage();
        QTest::mouseRelease(report.header()->viewport(), Qt::LeftButton, {}, section.center());
        const QImage released = report.headerImage();
        const QPoint leftEdge(section.left(), section.center().y());
        QCOMPARE(QColor(released.pixel(leftEdge)), QColor(Qt::white));
        QCOMPARE(QColor(pressed.pixel(leftEdge)), QColor(128, 128, 128));
        QCOMPARE(QColor(pressed.pixel(section.right() - 1, section.center().y())), QColor(128, 128, 128));
        QVERIFY(isBlue(pressed.pixel(section.left() + 3, section.center().y())));
        // The other sections keep their raised look while one is pressed.
        QCOMPARE(QColor(pressed.pixel(report.section(0).left(), section.center().y())), QColor(Qt::white));
    }

    // Two lists coloured at once; each removal restores only its own list,
    // in either order.
    void twoListsRemovedInEitherOrder_data()
    {
        QTest::addColumn<bool>("firstRemovedFirst");
        QTest::newRow("first, then second") << true;
        QTest::newRow("second, then first") << false;
    }
    void twoListsRemovedInEitherOrder()
    {
        QFETCH(bool, firstRemovedFirst);
        ReportList first;
        ReportList second;
        first.header()->setSectionsClickable(false);
        QVERIFY(QTest::qWaitForWindowExposed(&second.window));
        QStyle *appStyle = first.header()->style();
        common::InstallHeaderColouring(first.list);
        common::InstallHeaderColouring(second.list);
        common::InstallHeaderColouring(second.list); // a second install changes nothing
        QVERIFY(first.header()->sectionsClickable());

        ReportList &removed = firstRemovedFirst ? first : second;
        ReportList &kept = firstRemovedFirst ? second : first;
        common::RemoveHeaderColouring(removed.list);
        QVERIFY(!common::headerColouringInstalled(removed.list));
        QVERIFY(common::headerColouringInstalled(kept.list));
        QVERIFY(!isBlue(removed.headerImage().pixel(removed.section(0).center())));
        QVERIFY(isBlue(kept.headerImage().pixel(kept.section(0).left() + 3, 5)));
        QCOMPARE(removed.header()->style(), appStyle);

        common::RemoveHeaderColouring(kept.list);
        common::RemoveHeaderColouring(kept.list); // removing twice changes nothing
        QVERIFY(!isBlue(kept.headerImage().pixel(kept.section(0).center())));
        QVERIFY(!first.header()->sectionsClickable());
        QVERIFY(second.header()->sectionsClickable() == QTreeView().header()->sectionsClickable());
    }
};

QTEST_MAIN(TestHeaderColouring)
#include "tst_HeaderColouring.moc"
