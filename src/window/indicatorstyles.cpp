#include "indicatorstyles.h"

#include <QLatin1Char>
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

const QString stylePopup = QStringLiteral(
        "QAbstractItemView { color: black; background-color: white; border: 1px solid rgb(90, 90, 90); "
        "selection-color: white; selection-background-color: rgb(0, 90, 180); outline: 0; }"
        "QAbstractItemView::item { color: black; background-color: white; padding: 2px 6px; }"
        "QAbstractItemView::item:selected { color: white; background-color: rgb(0, 90, 180); }");
