#include "app/ui/WindowHub.h"

#include "addressbook/ui/FriendForm.h"
#include "app/ui/MainForm.h"
#include "compose/ui/BackForm.h"
#include "compose/ui/WriteForm.h"
#include "habitat/LitterTick.h"
#include "settings/ui/IdpassForm.h"
#include "settings/ui/OptionForm.h"
#include "settings/ui/SetForm.h"
#include "viewer/ui/TyakuForm.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

namespace app {
namespace {

void bringUp(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

// The litter tick stands still from a window's creation until it is gone.
// Nothing counts the pauses: whoever ends first restarts the tick. A window
// that outlives the hub (at the end of the process) restarts nothing.
void pauseLitterTickWhileLoaded(QWidget *window, QObject *hub)
{
    habitat::litterTick().pause();
    QObject::connect(window, &QObject::destroyed, hub, [] { habitat::litterTick().resume(); });
}

} // namespace

WindowHub::WindowHub(QWidget *mainWindow) : QObject(mainWindow), m_mainWindow(mainWindow) {}

settings::SetForm *WindowHub::showSetForm()
{
    if (!m_setForm) {
        m_setForm = new settings::SetForm(m_mainWindow);
        pauseLitterTickWhileLoaded(m_setForm, this);
        connect(m_setForm, &settings::SetForm::serverSettingsRequested, this, &WindowHub::showOptionForm);
        connect(m_setForm, &settings::SetForm::credentialsRequested, this, &WindowHub::showIdpassForm);
    }
    bringUp(m_setForm);
    return m_setForm;
}

settings::OptionForm *WindowHub::showOptionForm()
{
    if (!m_optionForm)
        m_optionForm = new settings::OptionForm(m_mainWindow);
    bringUp(m_optionForm);
    return m_optionForm;
}

settings::IdpassForm *WindowHub::idpassForm()
{
    if (!m_idpassForm)
        m_idpassForm = new settings::IdpassForm(m_mainWindow);
    return m_idpassForm;
}

settings::IdpassForm *WindowHub::showIdpassForm()
{
    settings::IdpassForm *form = idpassForm();
    bringUp(form);
    return form;
}

compose::BackForm *WindowHub::showBackForm()
{
    if (!m_backForm)
        m_backForm = new compose::BackForm(m_mainWindow);
    bringUp(m_backForm);
    return m_backForm;
}

viewer::TyakuForm *WindowHub::tyakuForm()
{
    if (!m_tyakuForm) {
        viewer::TyakuHost host;
        if (auto *main = qobject_cast<MainForm *>(m_mainWindow)) {
            host.helpDisplayTicked = [main] { return main->helpDisplayBox()->isChecked(); };
            host.showStoredCount = [main](const QString &count) { main->storedCountBox()->setText(count); };
            host.setMainHelpText = [main](const QString &text) { main->helpTextBox()->setPlainText(text); };
        }
        m_tyakuForm = new viewer::TyakuForm(std::move(host), m_mainWindow);
        pauseLitterTickWhileLoaded(m_tyakuForm, this);
        connect(m_tyakuForm, &viewer::TyakuForm::replyRequested, this,
                [this](const QString &subject, const QString &recipient, const QString &body,
                       const QString &answeredBody) {
                    showBackForm()->startReply(subject, recipient, body, answeredBody);
                });
        connect(m_tyakuForm, &viewer::TyakuForm::registerSenderRequested, this,
                [this](const QString &sender) { showFriendForm()->setAddressText(sender); });
    }
    return m_tyakuForm;
}

viewer::TyakuForm *WindowHub::showTyakuForm()
{
    viewer::TyakuForm *form = tyakuForm();
    bringUp(form);
    return form;
}

viewer::TyakuForm *WindowHub::loadedTyakuForm() const
{
    return m_tyakuForm;
}

bool WindowHub::helpDisplayOn() const
{
    const auto *main = qobject_cast<const MainForm *>(m_mainWindow);
    return main && main->helpDisplayBox() && main->helpDisplayBox()->isChecked();
}

addressbook::FriendForm *WindowHub::showFriendForm()
{
    if (!m_friendForm) {
        m_friendForm = new addressbook::FriendForm(helpDisplayOn(), m_mainWindow);
        pauseLitterTickWhileLoaded(m_friendForm, this);
    }
    bringUp(m_friendForm);
    return m_friendForm;
}

compose::WriteForm *WindowHub::showWriteForm()
{
    if (!m_writeForm) {
        m_writeForm = new compose::WriteForm(helpDisplayOn(), m_mainWindow);
        pauseLitterTickWhileLoaded(m_writeForm, this);
    }
    bringUp(m_writeForm);
    return m_writeForm;
}

addressbook::FriendForm *WindowHub::loadedFriendForm() const
{
    return m_friendForm;
}

compose::WriteForm *WindowHub::loadedWriteForm() const
{
    return m_writeForm;
}

settings::SetForm *WindowHub::loadedSetForm() const
{
    return m_setForm;
}

settings::OptionForm *WindowHub::loadedOptionForm() const
{
    return m_optionForm;
}

settings::IdpassForm *WindowHub::loadedIdpassForm() const
{
    return m_idpassForm;
}

compose::BackForm *WindowHub::loadedBackForm() const
{
    return m_backForm;
}

} // namespace app
