#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QString qtTranslationsPath()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
}

namespace {

bool install(QCoreApplication &app, const QString &name, const QString &folder)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(name, folder) && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}
} // namespace

static void initTranslationResources()
{
    // The compiled translations live in this static library.
    Q_INIT_RESOURCE(translations);
}

QString languageAsked(const QStringList &arguments)
{
    QString language = QStringLiteral("ru");
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--lang") && i + 1 < arguments.size())
            language = arguments.at(++i);
        else if (a.startsWith(QLatin1String("--lang=")))
            language = a.mid(7);
    }
    return language;
}

QStringList availableLanguages()
{
    return {QStringLiteral("ru"), QStringLiteral("en")};
}

bool installTranslations(QCoreApplication &app, const QString &language)
{
    if (language == QLatin1String("ru")) {
        // Missing on a system without Qt's translations: Qt then speaks English.
        for (const char *catalogue : {"qtbase_ru", "qtserialport_ru"})
            install(app, QLatin1String(catalogue), qtTranslationsPath());
        // Qt's command-line texts, built in: help and usage errors are
        // Russian on every system. Installed last, so looked at first.
        initTranslationResources();
        install(app, QStringLiteral("tav-configurator_ru"), QStringLiteral(":/i18n"));
        return true;
    }
    if (language == QLatin1String("en")) {
        initTranslationResources();
        return install(app, QStringLiteral("tav-configurator_en"), QStringLiteral(":/i18n"));
    }
    return false;
}
