#include "dialogs/AlertWindowConfigWidgets.h"

#include "dialogs/AlertPictures.h"

#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <qdrawutil.h>

namespace kestrova {

namespace {
IAlertPictures *ProcessPictures = nullptr;
}

IAlertPictures *AlertPictures()
{
    return ProcessPictures;
}

void SetAlertPictures(IAlertPictures *pictures)
{
    ProcessPictures = pictures;
}

TIconBox::TIconBox(
    IAlertPictures *pictures, int kind, std::string fileName, bool sunken, QWidget *parent)
    : QWidget(parent)
    , FPictures(pictures)
    , FKind(kind)
    , FFileName(std::move(fileName))
    , FSunken(sunken)
{
    resize(sunken ? QSize(44, 24) : QSize(40, 20));
}

void TIconBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (FSunken)
        qDrawShadePanel(&painter, rect(), palette(), true, 1);
    if (!FPictures)
        return;
    if (const auto picture = FPictures->Picture(FKind, FFileName))
        painter.drawImage(FSunken ? QPoint(2, 2) : QPoint(0, 0), *picture);
}

void TIconBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        FRightDown = true;
    event->accept();
}

void TIconBox::mouseReleaseEvent(QMouseEvent *event)
{
    const bool inside = rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton && inside)
        emit HelpClicked();
    if (event->button() == Qt::RightButton) {
        const bool wasDown = FRightDown;
        FRightDown = false;
        if (wasDown && inside)
            emit GoToRowClicked();
    }
    event->accept();
}

TWrapCheckBox::TWrapCheckBox(const QString &text, QWidget *parent)
    : QWidget(parent)
    , FBox(new QCheckBox(this))
    , FLabel(new QLabel(text, this))
{
    FLabel->setTextFormat(Qt::PlainText);
    FLabel->setWordWrap(true);
    FLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FLabel->installEventFilter(this);
    FBox->setAccessibleName(text);
    setFocusProxy(FBox);
}

void TWrapCheckBox::resizeEvent(QResizeEvent *)
{
    const QSize box = FBox->sizeHint();
    FBox->setGeometry(0, (height() - box.height()) / 2, box.width(), box.height());
    const int x = box.width() + 2;
    FLabel->setGeometry(x, 0, std::max(0, width() - x), height());
}

bool TWrapCheckBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == FLabel && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton && FBox->isEnabled()) {
        FBox->setFocus(Qt::MouseFocusReason);
        FBox->toggle();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

TLinkLabel::TLinkLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette blue = palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    setPalette(blue);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked();
}

QString CaptionText(const std::string &text)
{
    return QString::fromStdString(text).replace('&', "&&");
}

QIcon StrategyImage(int index)
{
    QPixmap pixmap(17, 17);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    auto badge = [&](QColor fill, const QString &sign) {
        p.setPen(fill.darker(140));
        p.setBrush(fill);
        p.drawEllipse(QRectF(1.5, 1.5, 14, 14));
        QFont font = p.font();
        font.setPixelSize(11);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, 17, 17), Qt::AlignCenter, sign);
    };
    switch (index) {
    case 0:
        badge(QColor(200, 40, 40), "!");
        break;
    case 1:
        badge(QColor(40, 150, 60), "+");
        break;
    case 2:
        badge(QColor(210, 110, 20), "-");
        break;
    case 3:
        badge(QColor(60, 90, 200), "*");
        break;
    case 4: // a smiling face
        p.setPen(QColor(150, 120, 0));
        p.setBrush(QColor(250, 210, 40));
        p.drawEllipse(QRectF(1.5, 1.5, 14, 14));
        p.setBrush(Qt::black);
        p.drawEllipse(QRectF(5.5, 5.5, 1.5, 1.5));
        p.drawEllipse(QRectF(10, 5.5, 1.5, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4.5, 5, 8, 7), 200 * 16, 140 * 16);
        break;
    case 5: // a folder
        p.setPen(QColor(150, 110, 20));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 4.5, 14, 10));
        p.drawRect(QRectF(1.5, 2.5, 6, 2));
        break;
    default: // the loaded mark: a tick
        p.setPen(QPen(QColor(20, 120, 200), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({ QPointF(3, 9), QPointF(7, 13), QPointF(14, 3) }));
        break;
    }
    p.end();
    return QIcon(pixmap);
}

} // namespace kestrova
