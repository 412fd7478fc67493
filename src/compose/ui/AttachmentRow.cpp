#include "compose/ui/AttachmentRow.h"

#include "common/Prompts.h"
#include "compose/AttachmentList.h"

#include <QColor>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>

namespace compose {
namespace {

int listToggleCount = 0;

const QColor LightGrey(192, 192, 192);
const QColor LightYellow(255, 255, 0);

QPushButton *makeButton(QWidget *window, const QString &caption, const char *name)
{
    auto *button = new QPushButton(caption, window);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

AttachmentRow::AttachmentRow(QWidget *window, const QString &attachCaption, ListToggle toggle)
    : QObject(window)
    , m_attach(makeButton(window, attachCaption, "AttachCommand"))
    , m_add(makeButton(window, QStringLiteral("追加"), "Command9"))
    , m_clear(makeButton(window, QStringLiteral("取り消し"), "Command10"))
    , m_paths(new QLineEdit(window))
    , m_titles(new QListWidget(window))
{
    m_paths->setObjectName(QStringLiteral("AttachText"));
    m_paths->setAccessibleName(QStringLiteral("添付ファイル"));
    m_titles->setObjectName(QStringLiteral("List2"));
    m_titles->setAccessibleName(QStringLiteral("添付ファイルの一覧"));
    m_titles->hide();
    m_paths->setAccessibleDescription(
        QStringLiteral("添付するファイルのパス。コンマで区切ります。コンマを含むパスは \" で囲みます。"));
    connect(m_paths, &QLineEdit::textChanged, this, &AttachmentRow::showTitles);

    connect(m_attach, &QPushButton::clicked, this, &AttachmentRow::AttachCommand_Click);
    connect(m_add, &QPushButton::clicked, this, &AttachmentRow::Command9_Click);
    connect(m_clear, &QPushButton::clicked, this, &AttachmentRow::Command10_Click);

    if (toggle == ListToggle::Present) {
        m_toggle = makeButton(window, QStringLiteral("リスト"), "Command16");
        m_toggle->setAutoFillBackground(true);
        paintToggle(LightGrey, QStringLiteral("リスト"));
        connect(m_toggle, &QPushButton::clicked, this, &AttachmentRow::Command16_Click);
    }
}

QString AttachmentRow::attachmentList() const
{
    return m_paths->text();
}

QStringList AttachmentRow::attachmentPaths() const
{
    return parseAttachmentList(m_paths->text());
}

void AttachmentRow::showTitles()
{
    // The list of names always mirrors the list that is sent, typed or picked.
    m_titles->clear();
    for (const QString &path : attachmentPaths())
        m_titles->addItem(attachmentTitle(path));
}

QString AttachmentRow::pickFile()
{
    // No title, filter or start folder: the dialog's own defaults.
    return common::prompts().chooseOpenFile(QString(), QString());
}

void AttachmentRow::addPicked(const QString &path)
{
    m_paths->setText(attachmentPaths().isEmpty() ? appendAttachmentPath(QString(), path)
                                                 : appendAttachmentPath(m_paths->text(), path));
}

void AttachmentRow::AttachCommand_Click()
{
    m_add->setEnabled(true);
    // Files already in the list stay (after a send that failed, "添付File"
    // is enabled again while the list still holds them).
    const QString path = pickFile();
    if (!path.isEmpty())
        addPicked(path);
    m_attach->setEnabled(false);
}

void AttachmentRow::Command9_Click()
{
    m_titles->show();
    m_titles->raise();
    if (m_paths->text().isEmpty())
        return;
    const QString path = pickFile();
    if (!path.isEmpty())
        addPicked(path);
}

void AttachmentRow::Command10_Click()
{
    m_paths->clear();
    m_titles->hide();
    m_add->setEnabled(false);
    m_clear->setEnabled(false);
    m_attach->setEnabled(true);
}

void AttachmentRow::Command16_Click()
{
    if (listToggleCount % 2 == 0) {
        paintToggle(LightYellow, QStringLiteral("非表示"));
        m_titles->hide();
    } else {
        paintToggle(LightGrey, QStringLiteral("表示"));
        m_titles->show();
        m_titles->raise();
    }
    ++listToggleCount;
}

void AttachmentRow::prepareForSend()
{
    m_add->setEnabled(false);
    m_titles->hide();
    m_attach->setEnabled(true);
}

void AttachmentRow::paintToggle(const QColor &colour, const QString &caption)
{
    QPalette palette = m_toggle->palette();
    palette.setColor(QPalette::Button, colour);
    m_toggle->setPalette(palette);
    m_toggle->setText(caption);
}

int AttachmentRow::listToggleClicks()
{
    return listToggleCount;
}

void AttachmentRow::resetListToggleClicks()
{
    listToggleCount = 0;
}

} // namespace compose
