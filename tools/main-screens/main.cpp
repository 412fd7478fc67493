// Shows the windows of the program in the states worth looking at and saves a
// picture of each into the folder given as the first argument. Works on a
// throw-away program folder and working directory.
#include "app/QtTranslations.h"
#include "app/ui/Fonts.h"
#include "app/ui/MainForm.h"
#include "app/ui/StandbyWindow.h"
#include "app/ui/WindowHub.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "common/Random.h"
#include "habitat/Habitat.h"
#include "habitat/LitterGame.h"
#include "habitat/ui/SceneCanvas.h"
#include "settings/AccountSettings.h"
#include "settings/ui/IdpassForm.h"
#include "settings/ui/OptionForm.h"
#include "settings/ui/SetForm.h"
#include "receive/MailStore.h"
#include "viewer/MailListModel.h"
#include "viewer/ui/TyakuForm.h"

#include "../ScreenTool.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QPushButton>
#include <QCursor>
#include <QHeaderView>
#include <QTreeView>

using screens::save;

namespace {

// Draws whatever is asked for: the throw of waste paper, then nothing.
class FixedRandom final : public common::RandomSource
{
public:
    double value = 0.5;
    double next() override { return value; }
    void reseed() override {}
};

// Ten received mails of an ordinary week.
void storeTenMails()
{
    const char16_t *mails[][4] = {
        {u"会議資料の送付について", u"yamada@example.co.jp", u"Mon, 7 Dec 2026 09:12:40 +0900",
         u"山田です。\r\n明日の会議資料をお送りします。\r\nご確認ください。"},
        {u"【重要】パスワード変更のお願い", u"info@example.ne.jp", u"Mon, 7 Dec 2026 11:03:15 +0900",
         u"定期的なパスワード変更をお願いいたします。"},
        {u"Re: 忘年会の出欠", u"suzuki@example.jp", u"Mon, 7 Dec 2026 18:45:02 +0900", u"参加します。"},
        {u"週末の予定", u"hanako@example.jp", u"Tue, 8 Dec 2026 08:20:11 +0900",
         u"土曜日は晴れるそうです。\r\nお弁当を持って公園へ行きませんか。"},
        {u"見積書の件", u"tanaka@example.co.jp", u"Tue, 8 Dec 2026 13:37:59 +0900",
         u"田中です。\r\n先日の見積書を添付いたします。"},
        {u"年末年始の営業日のお知らせ", u"shop@example.com", u"Tue, 8 Dec 2026 15:00:00 +0900",
         u"12月29日から1月3日まで休業いたします。"},
        {u"写真を送ります", u"kenji@example.jp", u"Wed, 9 Dec 2026 07:55:30 +0900",
         u"この前の旅行の写真です。"},
        {u"お問い合わせありがとうございます", u"support@example.com", u"Wed, 9 Dec 2026 10:10:10 +0900",
         u"お問い合わせいただいた件について、担当者よりご連絡いたします。"},
        {u"Re: 来週の打ち合わせ", u"sato@example.co.jp", u"Wed, 9 Dec 2026 12:24:48 +0900",
         u"佐藤です。\r\n来週の火曜日14時でいかがでしょうか。"},
        {u"蛍の観察会のご案内", u"hotaru@example.org", u"Wed, 9 Dec 2026 16:42:05 +0900",
         u"皆様\r\n\r\n来年六月に蛍の観察会を開きます。\r\n夜八時に川べりの橋のたもとへお集まりください。\r\n"
         u"懐中電灯は赤いセロハンで覆ってお持ちください。\r\n\r\n蛍の会 事務局"},
    };
    receive::MailStore store;
    for (const auto &m : mails)
        (void)store.appendMailRecord(QString::fromUtf16(m[0]), QString::fromUtf16(m[1]), QString::fromUtf16(m[2]),
                                     QString::fromUtf16(m[3]));
}

void pressHeaderSection(QTreeView *list, int section, QEvent::Type type)
{
    QHeaderView *header = list->header();
    const QPointF at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2.0,
                     header->height() / 2.0);
    QMouseEvent press(type, at, header->viewport()->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &press);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    app::installQtJapaneseTranslation(application);
    app::installFonts();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const QString assets = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("assets/habitat");
    QDir().mkpath(out);

    QTemporaryDir programFolder;
    QDir(programFolder.path()).mkpath(QStringLiteral("★MailData/Adata"));
    for (const char *name : {"Back.jpg", "Kan.gif", "Kami.gif", "Tabako.gif"})
        QFile::copy(assets + QLatin1Char('/') + QLatin1String(name),
                    programFolder.path() + QStringLiteral("/★MailData/Adata/") + QLatin1String(name));
    common::ProgramFolder::set(programFolder.path());
    QDir::setCurrent(programFolder.path());
    screens::ToolPrompts prompts;
    prompts.answer = false;
    common::setPrompts(&prompts);
    FixedRandom random;
    common::setRandom(&random);

    habitat::Habitat habitat;
    app::MainForm form(habitat);
    form.setServices({{}, {}, [] {}});
    form.Form_Load();
    form.show();
    for (int pass = 0; pass < 40; ++pass)
        habitat.runPass();
    form.sceneCanvas()->showFrame(habitat.frame());

    // The settings windows the start brought up, and the hub.
    save(form.windows().loadedOptionForm(), out, "optionform.png");
    save(form.windows().loadedIdpassForm(), out, "idpassform.png");
    form.windows().loadedOptionForm()->close();
    form.windows().loadedIdpassForm()->close();
    settings::SetForm *hub = form.windows().showSetForm();
    save(hub, out, "setform.png");
    hub->close();
    save(&form, out, "main-clean.png");

    // The viewer with ten mails, one of them clicked, then a header section held down.
    storeTenMails();
    form.Command6_Click();
    viewer::TyakuForm *viewerForm = form.windows().loadedTyakuForm();
    QTreeView *list = viewerForm->mailList();
    QApplication::processEvents();
    const QRect row = list->visualRect(viewerForm->mailListModel()->index(3, 0));
    QMouseEvent press(QEvent::MouseButtonPress, row.center(), list->viewport()->mapToGlobal(row.center()),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, row.center(), list->viewport()->mapToGlobal(row.center()),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
    save(viewerForm, out, "viewer.png");
    pressHeaderSection(list, 1, QEvent::MouseButtonPress);
    save(viewerForm, out, "viewer-pressed.png");
    pressHeaderSection(list, 1, QEvent::MouseButtonRelease);
    viewerForm->close();

    form.findChild<QCheckBox *>(QStringLiteral("Check1"))->setChecked(true);
    screens::hover(form.findChild<QWidget *>(QStringLiteral("Text6")), QPointF(2, 2));
    save(&form, out, "main-help.png");
    // The viewer loaded with the help display ticked explains its buttons.
    // The pointer is kept off the windows, whose panes would hide the help.
    QCursor::setPos(1020, 760);
    form.Command6_Click();
    viewer::TyakuForm *helped = form.windows().loadedTyakuForm();
    screens::hover(helped->deleteOneButton(), QPointF(2, 2));
    save(helped, out, "viewer-help.png");
    helped->close();
    screens::hover(form.sceneCanvas(), QPointF(2, 2));

    random.value = 4.5 / 200;
    form.litterGame().Timer3_Timer();
    random.value = 0.5;
    for (int tick = 0; tick < 17; ++tick)
        form.litterGame().Timer4_Timer();
    habitat.runPass();
    form.sceneCanvas()->showFrame(habitat.frame());
    screens::hover(form.findChild<QWidget *>(QStringLiteral("Label2")), QPointF(2, 2));
    save(&form, out, "main-litter.png");

    form.findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    save(form.standbyWindow(), out, "standby.png");

    // Qt's own texts: a yes-or-no box and a text box's right-click menu.
    QMessageBox question(QMessageBox::Question, QStringLiteral("確認"), QStringLiteral("削除しますか？"),
                         QMessageBox::Yes | QMessageBox::No);
    question.show();
    save(&question, out, "question.png");
    question.hide();
    QLineEdit box(QStringLiteral("本文"));
    std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
    menu->popup(QPoint(100, 100));
    save(menu.get(), out, "textmenu.png");
    return 0;
}
