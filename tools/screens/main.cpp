// Shows the windows of the program in the states worth looking at and saves a
// picture of each into the folder given as the first argument. Works on a
// throw-away program folder and working directory.
#include "app/QtTranslations.h"
#include "app/ui/Fonts.h"
#include "app/ui/Form1.h"
#include "app/ui/MainForm.h"
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

namespace {

// Draws whatever is asked for: the throw of waste paper, then nothing.
class FixedRandom final : public common::RandomSource
{
public:
    double value = 0.5;
    double next() override { return value; }
    void reseed() override {}
};

class SilentPrompts final : public common::UserPrompts
{
public:
    void inform(const QString &, const QString &, common::PromptIcon) override {}
    bool askYesNo(const QString &, const QString &, common::PromptIcon) override { return false; }
    QString chooseOpenFile(const QString &, const QString &) override { return {}; }
    QString chooseSaveFile(const QString &, const QString &) override { return {}; }
    void setClipboardText(const QString &) override {}
    QString clipboardText() override { return {}; }
    bool print(const QTextDocument &) override { return false; }
    void openUrl(const QString &) override {}
};

void save(QWidget *window, const QString &folder, const char *name)
{
    QApplication::processEvents();
    window->grab().save(folder + QLatin1Char('/') + QLatin1String(name));
}

void hover(QWidget *w)
{
    const QPointF at(2, 2);
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
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
    SilentPrompts prompts;
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

    form.findChild<QCheckBox *>(QStringLiteral("Check1"))->setChecked(true);
    hover(form.findChild<QWidget *>(QStringLiteral("Text6")));
    save(&form, out, "main-help.png");
    hover(form.sceneCanvas());

    random.value = 4.5 / 200;
    form.litterGame().Timer3_Timer();
    random.value = 0.5;
    for (int tick = 0; tick < 17; ++tick)
        form.litterGame().Timer4_Timer();
    habitat.runPass();
    form.sceneCanvas()->showFrame(habitat.frame());
    hover(form.findChild<QWidget *>(QStringLiteral("Label2")));
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
