#include "addedports.h"

#include "linkwords.h"
#include "networklink.h"
#include "statewords.h"

#include <QComboBox>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>

namespace {
const QString key = QStringLiteral("ports/added");
const QString lastKey = QStringLiteral("ports/last");

QSettings settings()
{
    // The system's own store (the registry on Windows), unless a test set
    // another default for its run.
    return QSettings(QSettings::defaultFormat(), QSettings::UserScope,
                     QStringLiteral("tav-configurator"), QStringLiteral("tav-configurator"));
}
} // namespace

AddedPorts::AddedPorts(QComboBox *list, QObject *parent)
    : QObject(parent)
    , list(list)
{
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, &AddedPorts::showMenu);
}

QStringList AddedPorts::names(int *passedOver) const
{
    const QStringList stored = settings().value(key).toStringList();
    QStringList kept;
    for (const QString &name : stored) {
        if (kept.size() < maxCount && name.size() <= maxLength && !name.trimmed().isEmpty()
            && !kept.contains(name))
            kept.append(name);
    }
    if (passedOver)
        *passedOver = int(stored.size() - kept.size());
    return kept;
}

void AddedPorts::remember(const QString &name)
{
    QStringList all = names();
    if (all.contains(name) || all.size() >= maxCount || name.size() > maxLength)
        return;
    all.append(name);
    settings().setValue(key, all);
}

QString AddedPorts::lastUsed() const
{
    const QString name = settings().value(lastKey).toString();
    return name.size() <= maxLength ? name : QString();
}

void AddedPorts::used(const QString &name)
{
    if (name.isEmpty() || name.size() > maxLength)
        return;
    settings().setValue(lastKey, name);
}

void AddedPorts::forget(const QString &name)
{
    QStringList all = names();
    if (all.removeAll(name) == 0)
        return;
    settings().setValue(key, all);
    emit forgotten(name);
}

void AddedPorts::showMenu(const QPoint &at)
{
    QMenu menu(list);
    QAction *add = menu.addAction(tr("Добавить порт по имени…"));
    connect(add, &QAction::triggered, this, &AddedPorts::askForName);
    const QString current = list->currentText();
    if (names().contains(current)) {
        QAction *drop = menu.addAction(tr("Забыть порт %1").arg(current));
        connect(drop, &QAction::triggered, this, [this, current] { forget(current); });
    }
    menu.exec(list->mapToGlobal(at));
}

void AddedPorts::askForName()
{
    bool ok = false;
    const QString name =
            QInputDialog::getText(list->window(), tr("Добавить порт"),
                                  tr("Модуль за шлюзом: socket://АДРЕС:ПОРТ (TCP) или "
                                     "rfc2217://АДРЕС:ПОРТ (RFC 2217).\nИли последовательный "
                                     "порт: %1")
                                          .arg(LinkWords::portNameExamples()),
                                  QLineEdit::Normal, QString(), &ok)
                    .trimmed();
    if (!ok || name.isEmpty())
        return;
    if (name.size() > maxLength || names().size() >= maxCount) {
        QMessageBox::warning(list->window(), tr("Добавить порт"),
                             name.size() > maxLength
                                     ? tr("Имя порта длиннее %1 знаков: таких портов не бывает.")
                                               .arg(maxLength)
                                     : tr("Запомнено уже %1 портов. Забудьте ненужный: правая "
                                          "кнопка на списке портов, «Забыть порт».")
                                               .arg(maxCount));
        return;
    }
    const PortAddress address = PortAddress::of(name);
    if (address.isGateway() && !address.isValid()) {
        QMessageBox::warning(list->window(), tr("Добавить порт"),
                             LinkWords::networkAdvice(NetworkLink::Problem::BadName, address, {},
                                                      StateWords::audience()));
        return;
    }
    remember(name);
    emit added(name);
}
