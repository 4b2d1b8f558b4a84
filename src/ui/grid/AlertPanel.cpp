// The alert panel: children, strip heights snapped to text lines, stacking, fonts.

#include "grid/AlertPanel.h"

#include "grid/AlertGrids.h"
#include "grid/ColorButton.h"
#include "grid/PanelSplitter.h"
#include "rtf/RichTextDocument.h"
#include "session/BacktestNames.h"
#include "session/GetAlertData.h"
#include "support/DebugLog.h"
#include "support/GeneralFont.h"
#include "support/ToolkitColors.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTextFrame>
#include <cmath>

namespace kestrova {

namespace {
constexpr uint32_t StatusBoxColor = 0xD8E9EC; // toolkit colour value
constexpr int DescriptionMargin = 7, BacktestMargin = 5;
constexpr int StatusIndent = 2; // pixels between the status box's edges and its text

void SetColors(QWidget &widget, QPalette::ColorRole background, const QColor &back,
    QPalette::ColorRole text, const QColor &fore)
{
    QPalette palette = widget.palette();
    palette.setColor(background, back);
    palette.setColor(text, fore);
    widget.setPalette(palette);
}
} // namespace

TAlertPanel::TAlertPanel(QWidget *parent)
    : TAlertPanel(AllAlertsConnection(), parent)
{
}

TAlertPanel::TAlertPanel(TAllAlertsConnection &session, QWidget *parent)
    : QWidget(parent)
{
    setFont(GeneralFont());

    FDescription = new QPlainTextEdit(this);
    FDescription->setReadOnly(true);
    FDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FDescription->setPlainText("Click on an alert to see the description here.");
    SetColors(*FDescription, QPalette::Base, Qt::black, QPalette::Text, Qt::white);
    FDescriptionSplitter = new TPanelSplitter(this);

    FBacktestBar = new QFrame(this);
    FBacktestBar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FBacktestBar->setLineWidth(2);
    auto *bar = new QHBoxLayout(FBacktestBar);
    bar->setContentsMargins(0, 0, 0, 0); // the bevel is the bar's margin
    bar->setSpacing(0);
    FButton = new TColorButton(FBacktestBar);
    FButton->setFixedWidth(33);
    FButton->SetHideFocus(true);
    FButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    FSpacer = new QWidget(FBacktestBar);
    FSpacer->setFixedWidth(2);
    FSpacer->setAutoFillBackground(true);
    SetColors(
        *FSpacer, QPalette::Window, ToolkitColor(StatusBoxColor), QPalette::WindowText, Qt::black);
    FStatus = new QTextEdit(FBacktestBar);
    FStatus->setReadOnly(true);
    FStatus->setFrameStyle(QFrame::NoFrame);
    FStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SetColors(*FStatus, QPalette::Base, ToolkitColor(StatusBoxColor), QPalette::Text, Qt::black);
    bar->addWidget(FButton);
    bar->addWidget(FSpacer);
    bar->addWidget(FStatus, 1);
    FBacktestSplitter = new TPanelSplitter(this);
    FDescriptionSplitter->OnDrag
        = [this](int delta, bool finished) { SplitterDragged(stDescription, delta, finished); };
    FBacktestSplitter->OnDrag
        = [this](int delta, bool finished) { SplitterDragged(stBacktest, delta, finished); };
    connect(FButton, &QPushButton::clicked, this, [this] {
        if (FBacktestHandler)
            RunGuarded("AlertPanels, TAlertPanel.BacktestClick", FBacktestHandler);
    });

    FStatusText = DefaultStatusText();
    SetRunning(false);
    FGrid = new TAlertGrid(*this, session);
    ShowStrip(stBacktest, 27);
    ShowStrip(stDescription, 20);
    FontChanged();
}

TAlertPanel::~TAlertPanel()
{
    delete FGrid; // before the members it may still read while it goes
    FGrid = nullptr;
}

std::string TAlertPanel::DefaultStatusText()
{
    return BacktestFeatureName()
        + ":  Calculate your odds of winning or losing for the strategy in this window.";
}

// ---- texts and the button ----

void TAlertPanel::SetDescriptionText(const std::string &text)
{
    FDescription->setPlainText(QString::fromStdString(text));
}

std::string TAlertPanel::DescriptionText() const
{
    return FDescription->toPlainText().toStdString();
}

void TAlertPanel::SetStatusText(const std::string &text)
{
    FStatusText = text;
    LoadStatus();
}

void TAlertPanel::LoadStatus()
{
    QTextDocument &document = *FStatus->document();
    LoadRichText(document, ReadRtf("{" + FStatusText + "}"));
    // The bar's height less its bevel is one pixel and k lines: one pixel above the text, and
    // a bar of k lines shows k whole lines. A little room on the sides.
    QTextFrameFormat frame = document.rootFrame()->frameFormat();
    frame.setMargin(0);
    frame.setTopMargin(1);
    frame.setLeftMargin(StatusIndent);
    frame.setRightMargin(StatusIndent);
    document.rootFrame()->setFrameFormat(frame);
    // The box's cursor went along with the text to its end; a box too small for the text
    // would keep that end in view. It shows the start.
    FStatus->moveCursor(QTextCursor::Start);
}

void TAlertPanel::SaveStatus(const std::string &fileName) const
{
    const std::string rtf = WriteRtf(
        RichTextFromDocument(*FStatus->document()), FStatus->font().family().toStdString());
    SaveFileContents(fileName, rtf);
}

void TAlertPanel::SetRunning(bool running)
{
    FRunning = running;
    FButton->setText(running ? "Stop" : "Backtest");
    FButton->SetColor(ToolkitColor(running ? 0x0000FF : 0x008000));
}

void TAlertPanel::SetBacktestButtonHandler(std::function<void()> handler)
{
    FBacktestHandler = std::move(handler);
}

void TAlertPanel::SimulateBacktestClick()
{
    if (BacktestHeight() <= 0)
        ShowAllPanels();
    FButton->click();
}

// ---- strips ----

QWidget &TAlertPanel::StripWidget(TStrip strip) const
{
    return strip == stDescription ? static_cast<QWidget &>(*FDescription) : *FBacktestBar;
}

TPanelSplitter &TAlertPanel::StripSplitter(TStrip strip) const
{
    return strip == stDescription ? *FDescriptionSplitter : *FBacktestSplitter;
}

int TAlertPanel::ShownHeight(TStrip strip) const
{
    return strip == stDescription ? FDescriptionShown : FBacktestShown;
}

int TAlertPanel::DescriptionHeight() const
{
    return FDescriptionShown;
}

int TAlertPanel::BacktestHeight() const
{
    return FBacktestShown;
}

int TAlertPanel::Snap(TStrip strip, int requested, bool atLeastOneLine) const
{
    if (requested == 0)
        return 0;
    QFont font = strip == stDescription ? FDescription->font() : FStatus->font();
    font.setBold(strip == stBacktest);
    const int m = strip == stDescription ? DescriptionMargin : BacktestMargin;
    const int h = QFontMetrics(font).height();
    if (h <= 0) // a font without height: the strips' usual heights
        return strip == stDescription ? 20 : 27;
    const long k = std::lrint(static_cast<double>(requested - m) / h);
    if (k > 0)
        return m + static_cast<int>(std::min<long>(k, 32767 / h)) * h;
    return atLeastOneLine ? m + h : 0;
}

void TAlertPanel::ShowStrip(TStrip strip, int height)
{
    (strip == stDescription ? FDescriptionShown : FBacktestShown) = std::max(0, height);
    StripWidget(strip).setVisible(height > 0);
    StripSplitter(strip).setVisible(height > 0);
    Restack();
}

void TAlertPanel::SetStripHeight(TStrip strip, int height)
{
    Remembered(strip) = height;
    ShowStrip(strip, Snap(strip, height, height != 0));
}

void TAlertPanel::SetDescriptionHeight(int height)
{
    SetStripHeight(stDescription, height);
}

void TAlertPanel::SetBacktestHeight(int height)
{
    SetStripHeight(stBacktest, height);
}

void TAlertPanel::ShowAllPanels()
{
    ShowStrip(stDescription, Snap(stDescription, 1, true));
    ShowStrip(stBacktest, Snap(stBacktest, 1, true));
}

void TAlertPanel::Restack()
{
    const int w = width();
    int top = height();
    for (TStrip strip : { stDescription, stBacktest }) {
        const int h = ShownHeight(strip);
        if (!StripWidget(strip).isVisibleTo(this))
            continue;
        top -= h;
        StripWidget(strip).setGeometry(0, top, w, h);
        top -= TPanelSplitter::Thickness;
        StripSplitter(strip).setGeometry(0, top, w, TPanelSplitter::Thickness);
    }
    if (FGrid)
        FGrid->setGeometry(0, 0, w, std::max(0, top));
}

void TAlertPanel::SplitterDragged(TStrip strip, int delta, bool finished)
{
    if (FDragStart < 0)
        FDragStart = ShownHeight(strip);
    // The strip may grow until the grid has no room left.
    int room = height() - TPanelSplitter::Thickness;
    for (TStrip other : { stDescription, stBacktest })
        if (other != strip && StripWidget(other).isVisibleTo(this))
            room -= ShownHeight(other) + TPanelSplitter::Thickness;
    const int proposed = std::clamp(FDragStart - delta, 0, std::max(0, room));
    const int snapped = Snap(strip, proposed, false);
    Remembered(strip) = snapped;
    if (!finished) {
        (strip == stDescription ? FDescriptionShown : FBacktestShown) = snapped;
        Restack();
        return;
    }
    FDragStart = -1;
    ShowStrip(strip, snapped);
}

void TAlertPanel::resizeEvent(QResizeEvent *event)
{
    RunGuarded("AlertPanels, TAlertPanel.Resize", [&] {
        QWidget::resizeEvent(event);
        Restack();
    });
}

// ---- fonts ----

void TAlertPanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange && FGrid && !FInFontChange)
        RunGuarded("AlertPanels, TAlertPanel.FontChanged", [this] { FontChanged(); });
}

void TAlertPanel::FontChanged()
{
    FInFontChange = true;
    const QFont base = font();
    FDescription->setFont(base);
    FStatus->setFont(base);
    FStatus->document()->setDefaultFont(base);
    QFont bold = base;
    bold.setBold(true);
    FButton->setFont(bold);
    QPalette buttonPalette = FButton->palette();
    buttonPalette.setColor(QPalette::ButtonText, Qt::white);
    FButton->setPalette(buttonPalette);
    const QFontMetrics metrics(bold);
    FButton->setFixedWidth(
        std::max(metrics.horizontalAdvance("Stop"), metrics.horizontalAdvance("Backtest")) + 12);
    for (TStrip strip : { stDescription, stBacktest }) {
        if (Remembered(strip) > 0)
            SetStripHeight(strip, Remembered(strip));
        ShowStrip(strip, Snap(strip, ShownHeight(strip), true));
    }
    Restack();
    LoadStatus();
    FInFontChange = false;
}

} // namespace kestrova
