#include "logwindow.h"

#include "exchangelog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

LogWindow::LogWindow(ExchangeLog *log, QWidget *parent)
    : QDialog(parent)
    , log(log)
{
    setWindowTitle(tr("Журнал обмена"));
    resize(640, 400);
    view = new QPlainTextEdit(this);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setMaximumBlockCount(ExchangeLog::maxLines);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    view->setFont(mono);
    view->setPlainText(log->lines().join(QLatin1Char('\n')));

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *saveButton = buttons->addButton(tr("Сохранить…"), QDialogButtonBox::ActionRole);
    QPushButton *clearButton = buttons->addButton(tr("Очистить"), QDialogButtonBox::ResetRole);
    QPushButton *closeButton = buttons->addButton(QDialogButtonBox::Close);
    connect(saveButton, &QPushButton::clicked, this, &LogWindow::save);
    connect(clearButton, &QPushButton::clicked, log, &ExchangeLog::clear);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    connect(log, &ExchangeLog::lineAdded, view, &QPlainTextEdit::appendPlainText);
    connect(log, &ExchangeLog::cleared, view, &QPlainTextEdit::clear);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(buttons);
}

QString LogWindow::text() const
{
    return view->toPlainText();
}

bool LogWindow::saveTo(const QString &path, QString *error) const
{
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly)) {
        const QStringList lines = log->lines();
        for (const QString &line : lines)
            out.write(line.toUtf8() + '\n');
        if (out.commit())
            return true;
    }
    if (error)
        *error = out.errorString();
    return false;
}

void LogWindow::save()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Сохранить журнал"),
                                                      QStringLiteral("tav-exchange.log"),
                                                      tr("Текстовые файлы (*.log *.txt)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveTo(path, &error))
        QMessageBox::warning(this, tr("Журнал обмена"),
                             tr("Не удалось сохранить журнал в %1: %2").arg(path, error));
}
