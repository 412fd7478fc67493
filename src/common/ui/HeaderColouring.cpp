#include "common/ui/HeaderColouring.h"

#include <QHeaderView>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionHeader>
#include <QTreeView>

namespace common {
namespace {

const QColor SectionBlue(58, 119, 165);
const QColor SectionText(255, 255, 255);
const QColor EdgeLight(255, 255, 255);
const QColor EdgeDark(64, 64, 64);
const QColor EdgeFlat(128, 128, 128);
constexpr int TextIndent = 5;

// The style of a coloured header: the header's own style for everything but
// its sections, which it paints itself. It remembers what the header had
// before, so the removal restores exactly that.
class ColouredHeaderStyle final : public QProxyStyle
{
public:
    ColouredHeaderStyle(QHeaderView *header)
        : m_header(header),
          m_previousStyle(header->testAttribute(Qt::WA_SetStyle) ? header->style() : nullptr),
          m_wasClickable(header->sectionsClickable())
    {
        setParent(header);
    }

    void restore()
    {
        m_header->setStyle(m_previousStyle.data());
        m_header->setSectionsClickable(m_wasClickable);
        m_header->viewport()->update();
    }

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *header = qstyleoption_cast<const QStyleOptionHeader *>(option);
        if (!header || widget != m_header
            || (element != CE_Header && element != CE_HeaderSection && element != CE_HeaderLabel)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // The label is part of the section painted below.
        if (element == CE_HeaderLabel)
            return;
        paintSection(*header, painter);
    }

private:
    static void paintSection(const QStyleOptionHeader &option, QPainter *painter)
    {
        painter->save();
        QRect rect = option.rect;
        painter->fillRect(rect, SectionBlue);

        rect.setRight(rect.right() - 1);
        const bool pressed = option.state & State_Sunken;
        painter->setPen(pressed ? EdgeFlat : EdgeLight);
        painter->drawLine(rect.topLeft(), rect.topRight());
        painter->drawLine(rect.topLeft(), rect.bottomLeft());
        painter->setPen(pressed ? EdgeFlat : EdgeDark);
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
        painter->drawLine(rect.topRight(), rect.bottomRight());

        rect.setLeft(rect.left() + TextIndent);
        painter->setPen(SectionText);
        painter->setClipRect(rect.adjusted(0, 1, -1, -1));
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, option.text);
        painter->restore();
    }

    QHeaderView *m_header;
    QPointer<QStyle> m_previousStyle;
    bool m_wasClickable;
};

ColouredHeaderStyle *installedStyle(const QTreeView *list)
{
    if (!list || !list->header())
        return nullptr;
    return list->header()->findChild<ColouredHeaderStyle *>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

void InstallHeaderColouring(QTreeView *list)
{
    if (!list || !list->header() || installedStyle(list))
        return;
    QHeaderView *header = list->header();
    auto *style = new ColouredHeaderStyle(header);
    // Pressed sections are drawn sunken only while sections take clicks.
    header->setSectionsClickable(true);
    header->setStyle(style);
    header->viewport()->update();
}

void RemoveHeaderColouring(QTreeView *list)
{
    ColouredHeaderStyle *style = installedStyle(list);
    if (!style)
        return;
    style->restore();
    delete style;
}

bool headerColouringInstalled(const QTreeView *list)
{
    return installedStyle(list) != nullptr;
}

} // namespace common
