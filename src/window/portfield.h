#ifndef TAV_PORTFIELD_H
#define TAV_PORTFIELD_H

#include "portlist.h"

#include <QObject>
#include <QString>
#include <QStringList>

class AddedPorts;
class QComboBox;

// The port list: the ports the system lists, each with its adapter where
// the system tells it, and the ports the technician added by name.
class PortField : public QObject
{
    Q_OBJECT

public:
    // With `systemDetails` the list names each port's adapter (one
    // enumeration per fill); without, it lists names only.
    PortField(QComboBox *box, bool systemDetails, QObject *parent = nullptr);

    // The least the closed field shows of a name, in characters; it is as
    // wide as the window's layout gives it beyond that. (Qt's own for an
    // empty list: the window is as narrow as it was with short names.)
    static constexpr int minimumShownChars = 7;

    // What the system knows of a port (description, manufacturer, serial
    // number, USB ids, location), a line per fact, for its item's tooltip.
    static QString facts(const PortDetails &port);

    // Lists `ports` and the added ones; the selected port stays selected
    // while it is listed.
    void fill(const QStringList &ports);
    // The system's first list, with what it told of its ports, which comes a
    // moment after the window shows: whatever the field shows by then
    // (picked, named on the command line, remembered) stays shown, listed
    // or not.
    void fillFirst(const QStringList &ports, const QList<PortDetails> &details);
    // Offers `name` even if the system does not list it, and selects it.
    void add(const QString &name);
    // Selects `name`, listing it if it is not.
    void select(const QString &name);
    // `name` is open: it is the one offered at the next start.
    void used(const QString &name);
    // What the closed field shows of the selected port: a name longer than
    // the field, cut in the middle, so that its scheme and its TCP port
    // (two gateways on one host) both stay in sight.
    QString shownText() const;
    // What the technician is told of remembered ports left out for being
    // beyond the bounds of AddedPorts; empty when none was.
    QString passedOver() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // An added port was forgotten: the list is to be filled again.
    void forgotten();
    // Another port is shown in the field: chosen, typed, selected by the
    // search, or left selected by a list that no longer has the old one. A
    // list filled again with the same port kept selected does not count.
    void turnedTo(const QString &port);

private:
    void fill(const QStringList &ports, const QList<PortDetails> &details, bool keepUnlisted);

    QComboBox *box = nullptr;
    AddedPorts *added = nullptr;
    bool systemDetails = false;
    QStringList extra;
    int skipped = 0;
    QString lastUsed;
    bool filledOnce = false;
    bool filling = false;
};

#endif // TAV_PORTFIELD_H
