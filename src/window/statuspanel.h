#ifndef TAV_STATUSPANEL_H
#define TAV_STATUSPANEL_H

#include <QStatusBar>

QT_BEGIN_NAMESPACE
class QProgressBar;
class QToolButton;
QT_END_NAMESPACE

// The window's status bar. A result is read whole: the message wraps onto
// as many lines as it needs (the bar grows, the window with it) instead of
// being cut at the window's edge. While a read or write runs, a small bar
// on the right shows how many of its commands the module has answered.
// At the far right, always, the way to the exchange log: "Журнал (F2)".
class StatusPanel : public QStatusBar
{
    Q_OBJECT

public:
    explicit StatusPanel(QWidget *parent = nullptr);

    // `done` of `count` commands answered; shown while an exchange runs.
    void showProgress(int done, int count);
    // The exchange is over: the bar goes away, its last value kept.
    void endProgress();
    QProgressBar *progress() const { return bar; }
    QToolButton *logButton() const { return logLink; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

signals:
    // "Журнал (F2)", or its menu's "Журнал обмена", was chosen.
    void logAsked();
    // Its menu's "Руководство пользователя" was chosen.
    void manualAsked();

private:
    QRect messageRect() const;
    void fitMessage();

    QProgressBar *bar = nullptr;
    QToolButton *logLink = nullptr;
};

#endif // TAV_STATUSPANEL_H
