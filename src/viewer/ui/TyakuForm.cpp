#include "viewer/ui/TyakuForm.h"

#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "common/TextHelpers.h"
#include "common/ui/HeaderColouring.h"
#include "editor/EditorState.h"
#include "habitat/LitterTick.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuLayout.h"
#include "viewer/ViewerHelp.h"
#include "viewer/ui/MailCommands.h"
#include "viewer/ui/TyakuForm_p.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

// The viewer window from load to unload, its reading fields, the body search
// and the hover help. Its controls are built and laid out in
// TyakuFormLayout.cpp, its list and delete commands are in
// TyakuFormMailList.cpp.
namespace viewer {

using common::InstallHeaderColouring;
using common::RemoveHeaderColouring;
using tyakuform::setButtonColour;
using tyakuform::toDisplay;

namespace {

constexpr int HelpBoxShownTop = 3600, HelpBoxHiddenTop = -4000;
constexpr int LoadedBodyLeft = 20, LoadedBodyTop = 3900;
// How often a list waiting for a check to end looks again.
constexpr int RefillPollMs = 100;

} // namespace

QString tyakuform::toDisplay(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

TyakuForm::TyakuForm(TyakuHost host, QWidget *parent)
    : QWidget(parent, Qt::Window), m_host(std::move(host))
{
    setObjectName(QStringLiteral("TyakuForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("着信履歴"));

    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName(QStringLiteral("menuBar"));
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    QPalette background = m_client->palette();
    background.setColor(QPalette::Window, QColor(224, 224, 224));
    m_client->setPalette(background);
    m_client->setAutoFillBackground(true);
    m_client->setMouseTracking(true);
    m_client->installEventFilter(this);

    createControls();
    m_refillTimer = new QTimer(this);
    m_refillTimer->setSingleShot(true);
    m_refillTimer->setInterval(RefillPollMs);
    connect(m_refillTimer, &QTimer::timeout, this, &TyakuForm::refillAfterCheck);
    resize(twipsToPixels(ClientWidthTwips), m_menuBar->sizeHint().height() + twipsToPixels(ClientHeightTwips));
    placeClientArea();

    installMailCommands(*this);
    Form_Load();
}

TyakuForm::~TyakuForm() = default;

void TyakuForm::Form_Load()
{
    habitat::litterTick().pause();
    if (m_countBox->text().isEmpty())
        m_countBox->setText(QStringLiteral("0"));
    const bool helpShown = m_host.helpDisplayTicked && m_host.helpDisplayTicked();
    m_helpBox->move(m_helpBox->x(), twipsToPixels(float(helpShown ? HelpBoxShownTop : HelpBoxHiddenTop)));
    m_helpBox->hide();

    const int listWidth = m_mailList->width();
    m_mailList->header()->resizeSection(MailListModel::SubjectColumn, listWidth / 2);
    m_mailList->header()->resizeSection(MailListModel::FromColumn, listWidth / 4);
    m_mailList->header()->resizeSection(MailListModel::DateColumn, listWidth / 4);

    InstallHeaderColouring(m_mailList);

    m_bodyBox->move(twipsToPixels(LoadedBodyLeft), twipsToPixels(LoadedBodyTop));
    loadEditorFile();
    m_bodyBox->show();
    m_search.reset();
}

void TyakuForm::loadEditorFile()
{
    EditorState &state = editorState();
    // Until the first "New" there is no editor file: nothing to load, no box.
    while (!state.CurrentEditorFile.isEmpty()) {
        bool ok = false;
        const QString text = common::readCp932TextFile(state.CurrentEditorFile, &ok);
        if (ok) {
            setBody(text);
            break;
        }
        // OK tries again, Cancel goes on without the file.
        if (!common::prompts().askOkCancel(QString(), QString::fromLatin1(common::ApplicationTitle)
                                                          + QStringLiteral("  Form_LoadError"),
                                           common::PromptIcon::Warning))
            break;
    }
    state.EditorChanged = false;
}

void TyakuForm::Text2_Change()
{
    if (m_host.showStoredCount)
        m_host.showStoredCount(m_countBox->text());
}

void TyakuForm::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen)
            move(screen->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(event);
}

void TyakuForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeClientArea();
    Form_Resize();
}

void TyakuForm::appendToBody(const QString &text)
{
    QTextCursor cursor(m_bodyBox->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(toDisplay(text));
}

QString TyakuForm::subjectText() const
{
    return m_subjectBox->text();
}

QString TyakuForm::senderText() const
{
    return m_senderBox->text();
}

QString TyakuForm::dateText() const
{
    return m_dateBox->text();
}

QString TyakuForm::bodyText() const
{
    return m_bodyBox->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void TyakuForm::setBody(const QString &text)
{
    // Set with the page size held at zero, the new text is laid out anew as a
    // whole document: the first screenful at once and the rest in idle time,
    // rather than every line of a long body before the mail is shown.
    QTextDocument *document = m_bodyBox->document();
    const QSizeF page = document->pageSize();
    document->setPageSize(QSizeF(0, 0));
    m_bodyBox->setPlainText(toDisplay(text));
    document->setPageSize(page);
}

void TyakuForm::FindInBody()
{
    selectMatch(m_search.find(m_bodyBox->toPlainText(), m_searchBox->text()));
}

void TyakuForm::FindNextInBody()
{
    selectMatch(m_search.findNext(m_bodyBox->toPlainText(), m_searchBox->text()));
}

void TyakuForm::selectMatch(const BodyMatch &match)
{
    if (!match.found())
        return;
    m_bodyBox->setFocus();
    QTextCursor cursor(m_bodyBox->document());
    cursor.setPosition(int(match.position - 1));
    cursor.setPosition(int(match.position - 1 + match.length), QTextCursor::KeepAnchor);
    m_bodyBox->setTextCursor(cursor);
}

void TyakuForm::showHelp(ViewerHelp topic)
{
    m_helpBox->show();
    m_helpBox->setPlainText(toDisplay(viewerHelpText(topic)));
}

void TyakuForm::pointerOverReadingArea(bool emptyHelp)
{
    m_helpBox->hide();
    if (emptyHelp)
        m_helpBox->clear();
    setButtonColour(m_headerCopyButton, QColor(128, 128, 128));
}

bool TyakuForm::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool pointerMoved = type == QEvent::MouseMove || type == QEvent::Enter;
    if (pointerMoved && m_helpTopics.contains(watched)) {
        showHelp(m_helpTopics.value(watched));
    } else if (pointerMoved && (watched == m_mailList->viewport() || watched == m_mailList)) {
        pointerOverReadingArea(true);
    } else if (pointerMoved && watched == m_bodyBox->viewport()) {
        pointerOverReadingArea(false);
    } else if (type == QEvent::MouseMove && watched == m_client) {
        Form_Resize(); // Form_MouseMove
    } else if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease
                || type == QEvent::MouseButtonDblClick)
               && watched == m_mailList->viewport()
               && static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton) {
        // Only a left click chooses a mail; another button would move the
        // selection away from the mail the boxes show.
        return true;
    } else if (type == QEvent::MouseButtonPress && watched == m_mailList->viewport()) {
        m_pointerPressed = true;
    } else if (type == QEvent::MouseButtonRelease && watched == m_mailList->viewport()) {
        m_pointerPressed = false;
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            MailListView_Click();
    }
    return QWidget::eventFilter(watched, event);
}

void TyakuForm::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        Form_QueryUnload();
        Form_Unload();
    }
    event->accept();
}

void TyakuForm::Form_QueryUnload()
{
    RemoveHeaderColouring(m_mailList);
}

void TyakuForm::Form_Unload()
{
    habitat::litterTick().resume();
}

} // namespace viewer
