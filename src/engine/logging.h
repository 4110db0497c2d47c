#ifndef TAV_LOGGING_H
#define TAV_LOGGING_H

#include <QLoggingCategory>

// Diagnostics, quiet unless switched on, e.g.
//   QT_LOGGING_RULES="tav.*.debug=true" tav-configurator
Q_DECLARE_LOGGING_CATEGORY(lcLink) // tav.link: ports opened and closed, bytes, replies, errors
Q_DECLARE_LOGGING_CATEGORY(lcSearch) // tav.search: port lists and what the search found

#endif // TAV_LOGGING_H
