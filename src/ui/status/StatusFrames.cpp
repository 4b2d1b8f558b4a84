#include "status/StatusFrames.h"

#include "session/GetAlertData.h"
#include "support/DebugLog.h"
#include "support/GeneralFont.h"
#include "support/ProcessWide.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <memory>

namespace kestrova {

namespace {
// The resource's layout: the bars and the lights keep their distance to the right edge.
constexpr int FrameWidth = 134, FrameHeight = 25;
constexpr int BarsLeft = 8, BarsTop = 4, BarsWidth = 104, BarsHeight = 17;
constexpr int LightLeft = 113, LightTop = 4, LightSize = 17;

QColor Rgb(uint32_t rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

QImage DrawLight(QColor lamp)
{
    QImage image(LightSize, LightSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A dark housing, the lamp with a darker rim, and a small reflection.
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(QColor(35, 35, 35));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 16, 16), 4, 4);
    QRadialGradient glow(QPointF(7.0, 7.0), 7.0);
    glow.setColorAt(0, lamp.lighter(150));
    glow.setColorAt(0.7, lamp);
    glow.setColorAt(1, lamp.darker(170));
    painter.setPen(QPen(lamp.darker(220), 1));
    painter.setBrush(glow);
    painter.drawEllipse(QRectF(2.5, 2.5, 12, 12));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 170));
    painter.drawEllipse(QRectF(5, 4.5, 3.5, 2.5));
    return image;
}

QLabel *MakeLight(QWidget *parent, TStatusLight light)
{
    auto *label = new QLabel(parent);
    label->setPixmap(QPixmap::fromImage(StatusLightPicture(light)));
    label->setGeometry(LightLeft, LightTop, LightSize, LightSize);
    return label;
}

TProcessWide<TStatusFrameList> &ListInstance()
{
    static TProcessWide<TStatusFrameList> list;
    return list;
}
} // namespace

const QImage &StatusLightPicture(TStatusLight light)
{
    static const QImage pictures[] = {
        DrawLight(QColor(0, 205, 40)),
        DrawLight(QColor(255, 205, 0)),
        DrawLight(QColor(230, 20, 20)),
    };
    return pictures[light];
}

// ---- the list ----

TStatusFrameList::TStatusFrameList(TAllAlertsConnection &session)
    : FSession(session)
{
    FSession.OnStatusMessage
        = [this](int code, const std::string &text) { StatusMessage(code, text); };
}

TStatusFrameList::~TStatusFrameList()
{
    FSession.OnStatusMessage = nullptr;
    for (TStatusFrame *frame : FFrames)
        frame->FList = nullptr;
}

void TStatusFrameList::StatusMessage(int type, const std::string &text)
{
    for (TStatusFrame *frame : std::vector<TStatusFrame *>(FFrames))
        frame->StatusMessage(type, text);
}

void TStatusFrameList::Add(TStatusFrame *frame)
{
    FFrames.push_back(frame);
}

void TStatusFrameList::Remove(TStatusFrame *frame)
{
    std::erase(FFrames, frame);
}

TStatusFrameList &StatusFrameList()
{
    auto &list = ListInstance();
    if (!list)
        list = std::make_unique<TStatusFrameList>(AllAlertsConnection());
    return *list;
}

void FreeStatusFrameList()
{
    ListInstance().reset();
}

// ---- the frame ----

TStatusFrame::TStatusFrame(QWidget *parent, TStatusFrameList &list)
    : QFrame(parent)
    , PaintBox1(new QWidget(this))
    , PingTimeLabel(new QLabel(this))
    , CurrentStatusYellow(MakeLight(this, slYellow))
    , CurrentStatusGreen(MakeLight(this, slGreen))
    , CurrentStatusRed(MakeLight(this, slRed))
    , FList(&list)
{
    resize(FrameWidth, FrameHeight);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);

    PaintBox1->setGeometry(BarsLeft, BarsTop, BarsWidth, BarsHeight);
    PaintBox1->installEventFilter(this);

    PingTimeLabel->setFont(GeneralFont());
    // Not transparent: it covers the oldest bars, over their whole height.
    PingTimeLabel->setAutoFillBackground(true);
    PingTimeLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PingTimeLabel->setGeometry(4, BarsTop, 0, BarsHeight);
    PingTimeLabel->raise();

    CurrentStatusRed->installEventFilter(this);
    CurrentStatusRed->setToolTip(QString());

    FList->Add(this);
    if (FList->Session().DisconnectedForGood())
        FModel.SetDown();
    ShowState();

    Timer1.setInterval(100);
    connect(&Timer1, &QTimer::timeout, this, [this] {
        RunGuarded("StatusFrames, TStatusFrame.Timer1Timer", [this] { Timer1Timer(); });
    });
    Timer1.start();
}

TStatusFrame::~TStatusFrame()
{
    if (FList)
        FList->Remove(this);
}

void TStatusFrame::StatusMessage(int type, const std::string &text)
{
    FModel.Notify(type, text);
    if (type == 4 || type == 5) {
        PingTimeLabel->setText(QString::fromStdString(text));
        PingTimeLabel->resize(PingTimeLabel->sizeHint().width(), BarsHeight);
        return;
    }
    if (!text.empty()) {
        // The hint's lines are CR LF separated; a tool tip shows them as rich text, escaped.
        QString lines = QString::fromStdString(FModel.Hint()).toHtmlEscaped();
        lines.replace("\r\n", "<br>");
        setToolTip("<p style='white-space:pre'>" + lines + "</p>");
    }
}

void TStatusFrame::Timer1Timer()
{
    FModel.Tick();
    ShowState();
    PaintBox1->update();
}

void TStatusFrame::ShowState()
{
    QPalette palette = PingTimeLabel->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Rgb(FModel.ResponseColor()));
    PingTimeLabel->setPalette(palette);
    const TStatusLight light = FModel.Light();
    CurrentStatusRed->setVisible(light == slRed);
    CurrentStatusYellow->setVisible(light == slYellow);
    CurrentStatusGreen->setVisible(light == slGreen);
}

void TStatusFrame::PaintBars()
{
    QPainter painter(PaintBox1);
    for (const auto &bar : FModel.Bars()) {
        const int x = bar.X;
        // A 4 x 15 box from (x, 1) to (x + 3, 15): top and left edges light, bottom and right
        // edges dark, the inside in between.
        painter.fillRect(x, 2, 1, 14, Rgb(bar.Light));
        painter.fillRect(x, 1, 3, 1, Rgb(bar.Light));
        painter.fillRect(x + 3, 1, 1, 14, Rgb(bar.Dark));
        painter.fillRect(x + 1, 15, 3, 1, Rgb(bar.Dark));
        painter.fillRect(x + 1, 2, 2, 13, Rgb(bar.Fill));
    }
}

bool TStatusFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == PaintBox1 && event->type() == QEvent::Paint) {
        RunGuarded("StatusFrames, TStatusFrame.PaintBox1Paint", [this] { PaintBars(); });
        return true;
    }
    if (watched == CurrentStatusRed && event->type() == QEvent::MouseButtonDblClick) {
        // Reconnect at once, even after the server logged the account out.
        RunGuarded("StatusFrames, TStatusFrame.CurrentStatusRedDblClick", [this] {
            if (FList)
                FList->Session().Reset();
        });
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void TStatusFrame::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    const int shift = width() - FrameWidth;
    PaintBox1->move(BarsLeft + shift, BarsTop);
    for (QLabel *light : { CurrentStatusYellow, CurrentStatusGreen, CurrentStatusRed })
        light->move(LightLeft + shift, LightTop);
}

} // namespace kestrova
