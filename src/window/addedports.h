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

    // A store that grew past these (by hand, or by another program) must
    // not make the window slow to open, nor a connect slow to start: more
    // ports, or longer names, are passed over.
    static constexpr int maxCount = 100;
    static constexpr int maxLength = 512;

    // Remembered from earlier runs, oldest first, within the bounds;
    // `passedOver` counts those beyond them.
    QStringList names(int *passedOver = nullptr) const;
    void remember(const QString &name);
    void forget(const QString &name);
    // The port last connected to, any kind, offered selected at the next
    // start where it is listed.
    QString lastUsed() const;
    void used(const QString &name);

signals:
    void added(const QString &name);
    void forgotten(const QString &name);

private:
    void showMenu(const QPoint &at);
    void askForName();

    QComboBox *list = nullptr;
};

#endif // TAV_ADDEDPORTS_H
