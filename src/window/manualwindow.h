#ifndef TAV_MANUALWINDOW_H
#define TAV_MANUALWINDOW_H

#include <QDialog>

class QTextBrowser;

// The user's manual, as installed beside the program and built into it:
// F1 finds it wherever the program runs, a USB stick included.
class ManualWindow : public QDialog
{
    Q_OBJECT

public:
    explicit ManualWindow(QWidget *parent = nullptr);

    // The manual's text, as Markdown.
    static QString text();

private:
    QTextBrowser *view = nullptr;
};

#endif // TAV_MANUALWINDOW_H
