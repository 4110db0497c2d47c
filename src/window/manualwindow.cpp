#include "manualwindow.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

ManualWindow::ManualWindow(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Руководство пользователя"));
    resize(760, 640);
    view = new QTextBrowser(this);
    view->setObjectName(QStringLiteral("manualView"));
    view->setAccessibleName(tr("Руководство пользователя"));
    view->setOpenExternalLinks(true);
    view->setMarkdown(text());

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(buttons);
}

QString ManualWindow::text()
{
    QFile file(QStringLiteral(":/docs/manual.ru.md"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
