#pragma once
// The status frame: a 134 x 25 black strip showing the health of the link to the alert server
// (a traffic light, fading bars of the last network events, the last response time, and the
// last ten status messages as its tool tip). Every frame is listed in a TStatusFrameList, which
// receives the session's status notifications and hands them to each frame. GUI thread only.

#include "status/StatusFramesModel.h"

#include <QFrame>
#include <QImage>
#include <QTimer>
#include <string>
#include <vector>

class QLabel;

namespace kestrova {

class TAllAlertsConnection;
class TStatusFrame;

class TStatusFrameList
{
public:
    // Installs itself as the session's status listener; the session must outlive the list.
    explicit TStatusFrameList(TAllAlertsConnection &session);
    // Removes itself from the session; frames still alive stop listening.
    ~TStatusFrameList();
    TStatusFrameList(const TStatusFrameList &) = delete;
    TStatusFrameList &operator=(const TStatusFrameList &) = delete;

    TAllAlertsConnection &Session() const { return FSession; }
    size_t Count() const { return FFrames.size(); }
    // A session notification, for every frame.
    void StatusMessage(int type, const std::string &text);

private:
    friend class TStatusFrame;
    void Add(TStatusFrame *frame);
    void Remove(TStatusFrame *frame);

    TAllAlertsConnection &FSession;
    std::vector<TStatusFrame *> FFrames;
};

// The process-wide list, created on first use on the all-alerts session. Free it before the
// session.
TStatusFrameList &StatusFrameList();
void FreeStatusFrameList();

class TStatusFrame : public QFrame
{
    Q_OBJECT
public:
    // Joins list (shown down at once when the session is disconnected for good).
    explicit TStatusFrame(QWidget *parent = nullptr, TStatusFrameList &list = StatusFrameList());
    ~TStatusFrame() override;

    const TStatusFrameModel &Model() const { return FModel; }
    // One session notification.
    void StatusMessage(int type, const std::string &text);
    // The 100 ms tick; public so tests can run it without waiting.
    void Timer1Timer();

    QWidget *PaintBox1;
    QLabel *PingTimeLabel;
    QLabel *CurrentStatusYellow, *CurrentStatusGreen, *CurrentStatusRed;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class TStatusFrameList;
    void PaintBars();
    void ShowState();

    TStatusFrameList *FList;
    TStatusFrameModel FModel;
    QTimer Timer1;
};

// The 17 x 17 traffic-light pictures, drawn once.
const QImage &StatusLightPicture(TStatusLight light);

} // namespace kestrova
