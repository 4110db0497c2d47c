#ifndef TAV_ADDEDPORTS_H
#define TAV_ADDEDPORTS_H

#include <QObject>
#include <QStringList>

class QComboBox;
class QPoint;

// Ports the technician names rather than picks: a gateway's socket:// or
// rfc2217:// address, or a path the system does not list. Added from the
// port list's context menu (the form stays as it is), remembered across
// runs, forgotten again on request.
class AddedPorts : public QObject
{
    Q_OBJECT

public:
    explicit AddedPorts(QComboBox *list, QObject *parent = nullptr);

    // Remembered from earlier runs, oldest first.
    QStringList names() const;
    void remember(const QString &name);
    void forget(const QString &name);

signals:
    void added(const QString &name);
    void forgotten(const QString &name);

private:
    void showMenu(const QPoint &at);
    void askForName();

    QComboBox *list = nullptr;
};

#endif // TAV_ADDEDPORTS_H
