#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace addressbook {
class FriendForm;
} // namespace addressbook

namespace compose {
class BackForm;
class WriteForm;
} // namespace compose

namespace settings {
class IdpassForm;
class OptionForm;
class SetForm;
} // namespace settings

namespace viewer {
class TyakuForm;
} // namespace viewer

namespace app {

// Creates each single-instance window on first use, over the main window, and
// gives out the one that is loaded. Windows delete themselves when closed;
// the next use creates them anew. While the settings hub, the viewer, the
// address book or the composer is loaded, the litter tick is paused.
class WindowHub final : public QObject
{
    Q_OBJECT
public:
    explicit WindowHub(QWidget *mainWindow);

    // The settings hub.
    settings::SetForm *showSetForm();
    settings::OptionForm *showOptionForm();
    // The credentials window, created hidden if it is not loaded.
    settings::IdpassForm *idpassForm();
    settings::IdpassForm *showIdpassForm();

    // The reply window, created when it is not loaded.
    compose::BackForm *showBackForm();
    // The received-mail viewer, created and loaded hidden when it is not
    // loaded (the mail check hands messages over through its fields).
    viewer::TyakuForm *tyakuForm();
    viewer::TyakuForm *showTyakuForm();
    // The address book window; opened by the tool-bar key "Address" and by
    // the viewer's sender registration.
    addressbook::FriendForm *showFriendForm();
    // The composer; opened by the tool-bar key "New".
    compose::WriteForm *showWriteForm();

    // The window that is loaded, or null.
    [[nodiscard]] settings::SetForm *loadedSetForm() const;
    [[nodiscard]] settings::OptionForm *loadedOptionForm() const;
    [[nodiscard]] settings::IdpassForm *loadedIdpassForm() const;
    [[nodiscard]] compose::BackForm *loadedBackForm() const;
    [[nodiscard]] viewer::TyakuForm *loadedTyakuForm() const;
    [[nodiscard]] addressbook::FriendForm *loadedFriendForm() const;
    [[nodiscard]] compose::WriteForm *loadedWriteForm() const;

private:
    // The main window's help display box (Check1) is ticked.
    [[nodiscard]] bool helpDisplayOn() const;

    QWidget *m_mainWindow;
    QPointer<settings::SetForm> m_setForm;
    QPointer<settings::OptionForm> m_optionForm;
    QPointer<settings::IdpassForm> m_idpassForm;
    QPointer<compose::BackForm> m_backForm;
    QPointer<viewer::TyakuForm> m_tyakuForm;
    QPointer<addressbook::FriendForm> m_friendForm;
    QPointer<compose::WriteForm> m_writeForm;
};

} // namespace app
