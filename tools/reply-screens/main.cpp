// Shows the reply window filled from a Japanese mail, with two attachments
// and their list, and the viewer after its header copy and quick save, and
// saves a picture of each into the folder given as the first argument. Works
// on a throw-away program folder.
#include "app/ui/Fonts.h"
#include "app/ui/WindowHub.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "compose/ui/BackForm.h"
#include "receive/MailStore.h"
#include "viewer/ui/TyakuForm.h"

#include "../ScreenTool.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QQueue>
#include <QTemporaryDir>
#include <QTreeView>

using screens::hover;
using screens::save;

namespace {

void clickRow(QTreeView *list, int row)
{
    const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QApplication::sendEvent(list->viewport(), &release);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    app::installFonts();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(out);

    QTemporaryDir programFolder;
    QDir root(programFolder.path());
    root.mkpath(QStringLiteral("★MailData/Adata"));
    root.mkpath(QStringLiteral("■TextQuickSave"));
    root.mkpath(QStringLiteral("添付フォルダ"));
    common::ProgramFolder::set(programFolder.path());
    screens::ToolPrompts prompts;
    common::setPrompts(&prompts);

    receive::MailStore store;
    (void)store.createIfMissing();
    (void)store.appendMailRecord(QStringLiteral("先日のお礼"), QStringLiteral("suzuki@example.jp"),
                                 QStringLiteral("Mon, 1 Apr 2024 09:12:00 +0900"), QStringLiteral("先日はありがとうございました。"));
    (void)store.appendMailRecord(
        QStringLiteral("来週の打ち合わせについて"), QStringLiteral("yamada.taro@example.co.jp"),
        QStringLiteral("Tue, 2 Apr 2024 10:30:00 +0900"),
        QStringLiteral("山田です。\r\nお世話になっております。\r\n\r\n来週の打ち合わせですが、水曜日の午後二時からで"
                       "いかがでしょうか。\r\n資料は前日までにお送りします。\r\n\r\nよろしくお願いいたします。\r\n山田太郎"));
    (void)store.appendMailRecord(QStringLiteral("【お知らせ】システム保守"), QStringLiteral("info@example.jp"),
                                 QStringLiteral("Wed, 3 Apr 2024 18:00:00 +0900"), QStringLiteral("保守のお知らせです。"));

    const QString estimate = programFolder.path() + QStringLiteral("/添付フォルダ/見積書_2024年4月.pdf");
    const QString agenda = programFolder.path() + QStringLiteral("/添付フォルダ/議事次第.txt");
    for (const QString &path : {estimate, agenda}) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("x");
    }

    QWidget main;
    app::WindowHub hub(&main);
    viewer::TyakuForm *viewer = hub.showTyakuForm();
    viewer->FillMailList();
    clickRow(viewer->mailList(), 1);
    viewer->replyButton()->click();

    compose::BackForm *reply = hub.loadedBackForm();
    prompts.files << estimate << agenda;
    reply->findChild<QPushButton *>(QStringLiteral("AttachCommand"))->click();
    reply->findChild<QPushButton *>(QStringLiteral("Command9"))->click();
    save(reply, out, "backform.png");

    reply->resize(900, 640);
    save(reply, out, "backform-wide.png");

    hover(viewer->senderBox());
    save(viewer, out, "tyakuform-headercopy.png");

    clickRow(viewer->mailList(), 1);
    viewer->quickSaveButton()->click();
    save(viewer, out, "tyakuform-quicksave.png");
    return 0;
}
