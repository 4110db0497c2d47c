#include "statuspanel.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QEvent>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>

namespace {
constexpr int margin = 4;
} // namespace

StatusPanel::StatusPanel(QWidget *parent)
    : QStatusBar(parent)
    , bar(new QProgressBar(this))
    , logLink(new QToolButton(this))
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu menu(this);
        QAction *openLog = menu.addAction(tr("Журнал обмена"));
        openLog->setShortcut(QKeySequence(Qt::Key_F2));
        connect(openLog, &QAction::triggered, this, &StatusPanel::logAsked);
        QAction *openManual = menu.addAction(tr("Руководство пользователя"));
        openManual->setShortcut(QKeySequence(Qt::Key_F1));
        connect(openManual, &QAction::triggered, this, &StatusPanel::manualAsked);
        menu.exec(mapToGlobal(at));
    });
    bar->setObjectName(QStringLiteral("exchangeProgress"));
    bar->setFormat(tr("%v из %m"));
    bar->setAccessibleName(tr("Ход обмена"));
    // A fixed width: the message wraps at the same place whether the bar is
    // laid out yet or not.
    bar->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("00 из 00")) + 24);
    addPermanentWidget(bar);
    bar->hide();
    bar->installEventFilter(this);
    // Where a user looks for it, and with its key: nothing else says the
    // log is there. Not in the focus chain: F2 is the keyboard's way.
    logLink->setObjectName(QStringLiteral("logButton"));
    logLink->setText(tr("Журнал (F2)"));
    logLink->setAccessibleName(tr("Журнал обмена"));
    logLink->setToolTip(tr("Журнал обмена: все сообщения, команды и ответы (F2)"));
    logLink->setAutoRaise(true);
    logLink->setFocusPolicy(Qt::NoFocus);
    connect(logLink, &QToolButton::clicked, this, &StatusPanel::logAsked);
    addPermanentWidget(logLink);
    logLink->installEventFilter(this);
    connect(this, &QStatusBar::messageChanged, this, &StatusPanel::fitMessage);
}

void StatusPanel::showProgress(int done, int count)
{
    bar->setRange(0, count);
    bar->setValue(done);
    if (bar->isHidden()) {
        bar->show();
        fitMessage();
    }
}

void StatusPanel::endProgress()
{
    if (bar->isHidden())
        return;
    bar->hide();
    fitMessage();
}

QRect StatusPanel::messageRect() const
{
    QRect r = rect().adjusted(margin, 0, -margin, 0);
    // Left of the leftmost permanent widget (the bar while it shows, else
    // the log's button) where it is laid out; until then, left of where it
    // will be: their widths, the size grip's and the layout's margins from
    // the right edge.
    const QWidget *leftmost = bar->isHidden() ? static_cast<QWidget *>(logLink) : bar;
    const bool placed = leftmost->x() > 0 && leftmost->geometry().right() < width()
            && (bar->isHidden() || bar->geometry().right() < logLink->x());
    const int gripWidth = isSizeGripEnabled() ? style()->pixelMetric(QStyle::PM_SizeGripSize) : 0;
    int widths = logLink->sizeHint().width();
    if (!bar->isHidden())
        widths += bar->width() + 2 * margin;
    const int left = placed ? leftmost->x() : width() - widths - gripWidth - 4 * margin;
    r.setRight(left - 2 * margin);
    return r;
}

bool StatusPanel::eventFilter(QObject *watched, QEvent *event)
{
    // The bar laid out anew: the message wraps to where it really is.
    if ((watched == bar || watched == logLink)
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        fitMessage();
    return QStatusBar::eventFilter(watched, event);
}

void StatusPanel::fitMessage()
{
    // As high as the message needs at this width: nothing is cut.
    const QRect r = messageRect();
    const int textHeight =
            fontMetrics()
                    .boundingRect(QRect(0, 0, std::max(r.width(), 1), 1 << 16),
                                  Qt::TextWordWrap, currentMessage())
                    .height();
    const int wanted = std::max(textHeight, fontMetrics().height()) + 2 * margin;
    if (minimumHeight() != wanted)
        setMinimumHeight(wanted);
    update();
}

void StatusPanel::resizeEvent(QResizeEvent *event)
{
    QStatusBar::resizeEvent(event);
    fitMessage();
}

void StatusPanel::paintEvent(QPaintEvent *)
{
    // QStatusBar draws its message on one line and clips it; this draws the
    // same message wrapped. The permanent bar is a child and paints itself.
    QPainter p(this);
    QStyleOption opt;
    opt.initFrom(this);
    style()->drawPrimitive(QStyle::PE_PanelStatusBar, &opt, &p, this);
    const QString text = currentMessage();
    if (text.isEmpty())
        return;
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(messageRect().adjusted(0, margin, 0, 0), Qt::AlignLeading | Qt::AlignTop | Qt::TextWordWrap,
               text);
}
