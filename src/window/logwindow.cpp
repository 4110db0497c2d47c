#include "logwindow.h"

#include "exchangelog.h"
#include "platform.h"

#include <QDateTime>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

LogWindow::LogWindow(ExchangeLog *log, QWidget *parent)
    : QDialog(parent)
    , log(log)
{
    setWindowTitle(tr("Журнал обмена"));
    resize(760, 400);
    view = new QPlainTextEdit(this);
    view->setObjectName(QStringLiteral("logView"));
    view->setAccessibleName(tr("Журнал обмена"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    view->setFont(mono);
    view->setPlainText(log->lines().join(QLatin1Char('\n')));

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *saveButton = buttons->addButton(tr("Сохранить…"), QDialogButtonBox::ActionRole);
    QPushButton *clearButton = buttons->addButton(tr("Очистить"), QDialogButtonBox::ResetRole);
    QPushButton *closeButton = buttons->addButton(QDialogButtonBox::Close);
    connect(saveButton, &QPushButton::clicked, this, &LogWindow::save);
    // Enter must never wipe the log: no button is the default, the view
    // has the focus, and clearing asks first.
    for (QPushButton *button : {saveButton, clearButton, closeButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(clearButton, &QPushButton::clicked, this, [this] {
        const auto answer = QMessageBox::question(
                this, tr("Очистить журнал"),
                tr("Удалить из журнала все записи (%1)? Вернуть их будет нельзя.")
                        .arg(view->document()->blockCount()),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes)
            this->log->clear();
    });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    // The view holds what the log keeps, no more: its bound is the log's.
    connect(log, &ExchangeLog::lineAdded, this, &LogWindow::append);
    connect(log, &ExchangeLog::linesDropped, this, [this](int count) {
        QTextCursor cursor(view->document());
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, count);
        cursor.removeSelectedText();
    });
    connect(log, &ExchangeLog::cleared, view, &QPlainTextEdit::clear);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(buttons);
    view->setFocus();
}

QString LogWindow::text() const
{
    return view->toPlainText();
}

void LogWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // What just happened is what the technician opens the log for; once
    // more when the first layout has settled the view's height.
    showNewest();
    QTimer::singleShot(0, this, &LogWindow::showNewest);
}

void LogWindow::showNewest()
{
    QScrollBar *bar = view->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void LogWindow::append(const QString &line)
{
    // Follows new lines while the newest is in sight; one scrolled back to
    // read stays where it was.
    QScrollBar *bar = view->verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    view->appendPlainText(line);
    if (following)
        showNewest();
}

bool LogWindow::saveTo(const QString &path, QString *error)
{
    // A save replaces the file it names with a new one: right for a file,
    // ruinous for a device or a pipe (as root, /dev/null itself).
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        if (error)
            *error = tr("это не обычный файл (устройство, канал или папка); выберите файл");
        return false;
    }
    Platform::keepRunningWhenFilesCannotGrow();
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly)) {
        const QStringList lines = log->lines();
        for (const QString &line : lines)
            out.write(line.toUtf8() + '\n');
        if (out.commit()) {
            emit saved(path);
            return true;
        }
    }
    if (error)
        *error = out.errorString();
    return false;
}

QString LogWindow::proposedPath()
{
    // Where a user keeps what they made, not wherever the program was
    // started from (on Windows, often the installation's own folder).
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // Logs of a day's modules sort by the time they were saved.
    const QString name = QStringLiteral("tav-exchange-%1.log")
                                 .arg(QDateTime::currentDateTime().toString(
                                         QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
    return documents.isEmpty() ? name : QDir(documents).filePath(name);
}

void LogWindow::save()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Сохранить журнал"),
                                                      QDir::toNativeSeparators(proposedPath()),
                                                      tr("Текстовые файлы (*.log *.txt)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveTo(path, &error))
        QMessageBox::warning(this, tr("Журнал обмена"),
                             tr("Не удалось сохранить журнал в %1: %2").arg(path, error));
}
