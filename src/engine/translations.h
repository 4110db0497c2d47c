#ifndef TAV_TRANSLATIONS_H
#define TAV_TRANSLATIONS_H

#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QCoreApplication;
QT_END_NAMESPACE

// The program speaks Russian. "ru" (the default) also loads Qt's own Russian
// texts (standard buttons, dialogs, QSerialPort's messages) where the system
// has them; "en" loads the English translation of the program's texts, built
// in. False for a language the program does not have.
bool installTranslations(QCoreApplication &app, const QString &language);
QStringList availableLanguages();
// Where this system keeps Qt's own translations (qtbase_ru.qm, …).
QString qtTranslationsPath();
// The language the arguments ask for with --lang (the last one given), "ru"
// without one: known before the parser is built, so that its help and its
// errors are in that language too.
QString languageAsked(const QStringList &arguments);

#endif // TAV_TRANSLATIONS_H
