#include "LoopbackPictureService.h"
#include "NotificationPostingQueue.h"

#include <QColor>
#include <QtTest>

using namespace std::chrono_literals;

class NotificationPostingQueueTest : public QObject
{
    Q_OBJECT

    struct Posted
    {
        QString title;
        QSize iconSize;
    };

    LoopbackPictureService service;
    QList<Posted> posted;
    NotificationPostingQueue queue{[this](const StreamMessage &message, const QImage &icon) {
        posted.append({message.title, icon.isNull() ? QSize() : icon.size()});
    }};

    StreamMessage message(const QString &title, const QString &iconPath = {}) const
    {
        StreamMessage result;
        result.title = title;
        if (!iconPath.isNull())
            result.iconpath = service.url(iconPath).toString();
        return result;
    }

    QStringList postedTitles() const
    {
        QStringList titles;
        for (const Posted &notification : posted)
            titles.append(notification.title);
        return titles;
    }

private slots:
    void initTestCase()
    {
        LoopbackPictureService::Response silent;
        silent.silent = true;
        service.route("/held.png", silent);
        service.route("/silent.png", silent);
        service.route("/fast.png", LoopbackPictureService::picture(LoopbackPictureService::png({2, 2}, Qt::green)));
        queue.iconLoader().setTimeLimit(2s);
    }

    void init() { posted.clear(); }

    void messageWithoutIconBeforeAnyOtherIsPostedAtOnce()
    {
        queue.enqueue(message("plain"));
        QCOMPARE(postedTitles(), QStringList{"plain"});
    }

    void laterMessagesWaitForAnEarlierIcon()
    {
        queue.enqueue(message("slow icon", "/held.png"));
        queue.enqueue(message("no icon"));
        queue.enqueue(message("fast icon", "/fast.png"));
        QTRY_COMPARE(service.requestCount("/fast.png"), 1);
        QTest::qWait(50);
        QVERIFY(posted.isEmpty());
        QCOMPARE(queue.waitingCount(), 3);
        service.release("/held.png", LoopbackPictureService::picture(LoopbackPictureService::png({4, 4}, Qt::blue)));
        QTRY_COMPARE(posted.size(), 3);
        QCOMPARE(postedTitles(), (QStringList{"slow icon", "no icon", "fast icon"}));
        QCOMPARE(posted[0].iconSize, QSize(4, 4));
        QCOMPARE(posted[1].iconSize, QSize());
        QCOMPARE(posted[2].iconSize, QSize(2, 2));
        QCOMPARE(queue.waitingCount(), 0);
    }

    void iconHostThatNeverAnswersHoldsUpOnlyUntilTheBound()
    {
        queue.iconLoader().setTimeLimit(200ms);
        queue.enqueue(message("stuck", "/silent.png"));
        queue.enqueue(message("behind", "/fast.png"));
        QTRY_COMPARE(posted.size(), 2);
        QCOMPARE(postedTitles(), (QStringList{"stuck", "behind"}));
        QCOMPARE(posted[0].iconSize, QSize());
        QCOMPARE(posted[1].iconSize, QSize(2, 2));
    }

    void refusedIconStillKeepsItsPlace()
    {
        StreamMessage local = message("local file");
        local.iconpath = QStringLiteral("file:///etc/hostname");
        queue.enqueue(message("first", "/fast.png"));
        queue.enqueue(local);
        queue.enqueue(message("last"));
        QTRY_COMPARE(posted.size(), 3);
        QCOMPARE(postedTitles(), (QStringList{"first", "local file", "last"}));
    }
};

QTEST_GUILESS_MAIN(NotificationPostingQueueTest)
#include "NotificationPostingQueueTest.moc"
