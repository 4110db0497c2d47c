#include "indicatorstyles.h"

#include <QLatin1Char>
#include <QPainter>
#include <QStringLiteral>

QString IndicatorStyles::fromTemplate(const QString &templ)
{
    return templ.arg(cornerRadius, 0, 10, QLatin1Char(' '));
}

const QString styleGreen = IndicatorStyles::fromTemplate(QStringLiteral(
        "color: black;border-radius: %1;background-color: qlineargradient(spread:pad, x1:0.145, "
        "y1:0.16, x2:1, y2:1, stop:0 rgba(138, 240, 87, 255), stop:1 rgba(32, 152, 15, 255));"));

const QString styleGray = IndicatorStyles::fromTemplate(QStringLiteral(
        "color: white;border-radius: %1;background-color: qlineargradient(spread:pad, x1:0.145, "
        "y1:0.16, x2:1, y2:1, stop:0 rgba(180, 185, 180, 255), stop:1 rgba(80, 80, 80, 255));"));

const QString styleLight = IndicatorStyles::fromTemplate(QStringLiteral(
        "color: white;border-radius: %1;background-color: qlineargradient(spread:pad, x1:0.145, "
        "y1:0.16, x2:1, y2:1, stop:0 rgba(250, 255, 250, 255), stop:1 rgba(150, 150, 150, 255));"));

const QString styleRed = IndicatorStyles::fromTemplate(QStringLiteral(
        "color: white;border-radius: %1;background-color: qlineargradient(spread:pad, x1:0.145, "
        "y1:0.16, x2:0.92, y2:0.988636, stop:0 rgba(255, 12, 12, 255), stop:0.869347 rgba(103, 0, "
        "0, 255));"));

namespace {
constexpr QRgb rowText = qRgb(0, 0, 0);
constexpr QRgb rowBackground = qRgb(255, 255, 255);
constexpr QRgb litText = qRgb(255, 255, 255);
constexpr QRgb litBackground = qRgb(0, 90, 180);
constexpr int rowPadding = 6;
} // namespace

void ReadableRows::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    // The highlighted row follows the mouse and the arrow keys.
    const bool lit = option.state & (QStyle::State_Selected | QStyle::State_MouseOver);
    painter->save();
    painter->fillRect(option.rect, QColor(lit ? litBackground : rowBackground));
    painter->setPen(QColor(lit ? litText : rowText));
    painter->setFont(option.font);
    painter->drawText(option.rect.adjusted(rowPadding, 0, -rowPadding, 0),
                      Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize ReadableRows::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QSize text =
            option.fontMetrics.size(Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());
    return {text.width() + 2 * rowPadding, text.height() + rowPadding};
}

void PortRows::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QString about = index.data(aboutRole).toString();
    if (!about.isEmpty())
        option->text += QStringLiteral(" — ") + about;
}
