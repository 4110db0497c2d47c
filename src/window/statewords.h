#ifndef TAV_STATEWORDS_H
#define TAV_STATEWORDS_H

#include "linkwords.h"
#include "moduleengine.h"

#include <QString>

class QWidget;

// What each look means, in words: colour alone tells nothing to one in
// twelve men, nor to a screen reader.
namespace StateWords {

enum class Search { Idle, Searching, Found, NotFound };

// The words for a field's state; `picked` for a value the user chose that
// the module does not hold yet.
QString field(ModuleEngine::FieldState state);
QString picked();
QString search(Search state);

// What the window asks a technician to do next: its buttons, by name.
LinkWords::Audience audience();

// Puts `state` where a user finds it: the tooltip ("what: state") and the
// accessible description. Only on a change, as looks are.
void describe(QWidget *widget, const QString &what, const QString &state);

} // namespace StateWords

#endif // TAV_STATEWORDS_H
