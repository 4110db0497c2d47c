#ifndef TAV_INDICATORSTYLES_H
#define TAV_INDICATORSTYLES_H

#include <QString>
#include <QStyledItemDelegate>

// The four looks of the setting fields and the search button. They are built
// once, before any widget exists, and always applied unchanged. The window
// keeps what each widget stands for as data and derives the look from it;
// it never reads a look back.
extern const QString styleGreen;
extern const QString styleGray;
extern const QString styleLight;
extern const QString styleRed;

namespace IndicatorStyles {
// Corner radius substituted for "%1" in every template, in pixels.
constexpr int cornerRadius = 5;

QString fromTemplate(const QString &templ);
} // namespace IndicatorStyles

// Rows of a field's pop-up list, painted plain and readable whatever the
// field's look: a field's style sheet reaches into its list and would paint
// the rows in its gradient, the highlighted one black on black. Black on
// white, the highlighted row white on dark blue (6.7:1). The list itself
// gets no style sheet: those four looks stay the only ones in the window.
class ReadableRows : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Rows of the port list: the port's name, then what the system calls its
// adapter where it says (aboutRole), as Windows' Device Manager names them.
class PortRows : public QStyledItemDelegate
{
public:
    static constexpr int aboutRole = Qt::UserRole + 1;
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

#endif // TAV_INDICATORSTYLES_H
