#include "portfield.h"

#include "addedports.h"
#include "indicatorstyles.h"
#include "portlist.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QHash>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace {
constexpr auto exactly = Qt::MatchExactly | Qt::MatchCaseSensitive;
}

PortField::PortField(QComboBox *portBox, bool details, QObject *parent)
    : QObject(parent)
    , box(portBox)
    , added(new AddedPorts(portBox, this))
    , systemDetails(details)
{
    extra = added->names(&skipped);
    lastUsed = added->lastUsed();
    box->setItemDelegate(new PortRows(box));
    // A gateway's address is longer than the field: the field names the
    // whole of it on hover, and its list is as wide as its longest entry.
    connect(box, &QComboBox::currentTextChanged, box, &QWidget::setToolTip);
    connect(box, &QComboBox::currentTextChanged, this, [this](const QString &port) {
        if (!filling)
            emit turnedTo(port);
    });
    // However long a port's name (a remembered one may run to hundreds of
    // characters), the field keeps the window's width: the whole name is in
    // its tooltip and its drop-down list.
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->installEventFilter(this);
    box->setMinimumContentsLength(minimumShownChars);
    const auto fitList = [this] {
        QAbstractItemView *list = box->view();
        list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth()
                              + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    };
    connect(box->model(), &QAbstractItemModel::rowsInserted, this, fitList);
    connect(box->model(), &QAbstractItemModel::modelReset, this, fitList);
    // Ports named by the technician earlier stay offered.
    connect(added, &AddedPorts::added, this, &PortField::add);
    connect(added, &AddedPorts::forgotten, this, [this](const QString &name) {
        extra.removeAll(name);
        emit forgotten();
    });
}

QString PortField::facts(const PortDetails &d)
{
    QStringList lines;
    const auto add = [&lines](const QString &label, const QString &value) {
        if (!value.isEmpty())
            lines.append(label.arg(value));
    };
    add(tr("Описание: %1"), d.description);
    add(tr("Производитель: %1"), d.manufacturer);
    add(tr("Серийный номер: %1"), d.serialNumber);
    add(tr("USB VID:PID: %1"), d.usbId);
    add(tr("Расположение: %1"), d.location);
    return lines.join(QLatin1Char('\n'));
}

QString PortField::passedOver() const
{
    if (skipped == 0)
        return {};
    return tr("Запомненные порты не показаны: %1 (их больше %2 или имя длиннее %3 знаков)")
            .arg(skipped)
            .arg(AddedPorts::maxCount)
            .arg(AddedPorts::maxLength);
}

void PortField::fill(const QStringList &ports)
{
    // One enumeration for the details of every port, on a click.
    fill(ports, systemDetails ? systemPortDetails() : QList<PortDetails>(), false);
}

void PortField::fillFirst(const QStringList &ports, const QList<PortDetails> &told)
{
    fill(ports, told, true);
}

void PortField::fill(const QStringList &ports, const QList<PortDetails> &told, bool keepUnlisted)
{
    const QString selected = box->currentText();
    filling = true;
    box->clear();
    QHash<QString, PortDetails> details;
    for (const PortDetails &d : told)
        details.insert(d.name, d);
    for (const QString &name : ports) {
        box->addItem(name);
        const auto d = details.constFind(name);
        if (d == details.cend())
            continue;
        // The list names a port as the system does, with its adapter
        // ("COM5 — USB Serial Port"); the item stays the port's name.
        box->setItemData(box->count() - 1, facts(*d), Qt::ToolTipRole);
        box->setItemData(box->count() - 1, d->description, PortRows::aboutRole);
    }
    for (const QString &name : qAsConst(extra)) {
        if (box->findText(name, exactly) < 0)
            box->addItem(name);
    }
    // The values on screen belong to the selected port: keep it while listed.
    // At the start, the port last used is offered, where it is listed and
    // nothing else was asked for.
    const bool first = !std::exchange(filledOnce, true);
    const int kept = box->findText(selected, exactly);
    const int last = lastUsed.isEmpty() ? -1 : box->findText(lastUsed, exactly);
    if (kept >= 0)
        box->setCurrentIndex(kept);
    else if (keepUnlisted && !selected.isEmpty())
        select(selected);
    else if (first && selected.isEmpty() && last >= 0)
        box->setCurrentIndex(last);
    filling = false;
    if (box->currentText() != selected)
        emit turnedTo(box->currentText());
}

void PortField::add(const QString &name)
{
    if (name.isEmpty())
        return;
    if (!extra.contains(name))
        extra.append(name);
    select(name);
}

void PortField::used(const QString &name)
{
    if (name == lastUsed)
        return;
    lastUsed = name;
    added->used(name);
}

QString PortField::shownText() const
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.frame = box->hasFrame();
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                     QStyle::SC_ComboBoxEditField, box);
    return box->fontMetrics().elidedText(box->currentText(), Qt::ElideMiddle, field.width());
}

bool PortField::eventFilter(QObject *watched, QEvent *event)
{
    // Qt cuts the closed field's text at its right edge, where a gateway's
    // TCP port is: it is drawn here as Qt would, with the text cut in the
    // middle instead.
    if (watched != box || event->type() != QEvent::Paint || box->isEditable())
        return QObject::eventFilter(watched, event);
    QStylePainter painter(box);
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.frame = box->hasFrame();
    option.currentText = shownText();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    return true;
}

void PortField::select(const QString &name)
{
    // A re-plugged adapter keeps its item.
    if (box->findText(name, exactly) < 0)
        box->addItem(name);
    box->setCurrentText(name);
}
