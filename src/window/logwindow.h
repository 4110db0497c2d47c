#ifndef TAV_LOGWINDOW_H
#define TAV_LOGWINDOW_H

#include <QDialog>

class ExchangeLog;
class QPlainTextEdit;

// The exchange log, live: selectable and copyable text, saved to a UTF-8
// file or cleared on demand.
class LogWindow : public QDialog
{
    Q_OBJECT

public:
    explicit LogWindow(ExchangeLog *log, QWidget *parent = nullptr);

    QString text() const;
    // Writes every line to `path` as UTF-8; false, with the reason, if it
    // cannot. Once written, saved() says where.
    bool saveTo(const QString &path, QString *error = nullptr);
    // Where "Сохранить…" proposes to save: the user's documents folder, a
    // name that sorts by the time of saving.
    static QString proposedPath();

signals:
    void saved(const QString &path);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void save();
    void append(const QString &line);
    void showNewest();

    ExchangeLog *log = nullptr;
    QPlainTextEdit *view = nullptr;
};

#endif // TAV_LOGWINDOW_H
