#include "statewords.h"

#include <QCoreApplication>
#include <QWidget>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("StateWords", text);
}
} // namespace

LinkWords::Audience StateWords::audience()
{
    return {tr("нажмите «Соединиться»"), tr("нажмите «Обновить»"),
            tr("выберите порт и нажмите «Соединиться»"), tr("нажмите «Отключиться»")};
}

QString StateWords::field(ModuleEngine::FieldState state)
{
    using State = ModuleEngine::FieldState;
    switch (state) {
    case State::Unknown:
        return tr("значение неизвестно");
    case State::Read:
        return tr("считано из модуля");
    case State::Unreadable:
        return tr("ответ модуля не распознан");
    case State::Pending:
        return picked();
    case State::Sending:
        return tr("отправлено, ожидается ответ");
    case State::Confirmed:
        return tr("подтверждено модулем");
    case State::Refused:
        return tr("отклонено модулем");
    }
    return {};
}

QString StateWords::picked()
{
    return tr("выбрано, не записано");
}

QString StateWords::search(Search state)
{
    switch (state) {
    case Search::Idle:
        return tr("поиск не идёт");
    case Search::Searching:
        return tr("идёт поиск адаптера");
    case Search::Found:
        return tr("адаптер найден и открыт");
    case Search::NotFound:
        return tr("модуль не найден");
    }
    return {};
}

void StateWords::describe(QWidget *widget, const QString &what, const QString &state)
{
    if (widget->accessibleDescription() == state)
        return;
    widget->setAccessibleDescription(state);
    widget->setToolTip(what + QStringLiteral(": ") + state);
}
