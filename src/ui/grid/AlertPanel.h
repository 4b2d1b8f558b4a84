#pragma once
// TAlertPanel: the whole content of an alert window. The alert grid fills the top; below it
// two strips, each under a 2-pixel splitter: the backtest bar (a colour button and a rich-text
// status box) and, at the bottom, the description box that shows the alert last clicked. Strip
// heights snap to whole text lines; a strip of height 0 is hidden with its splitter.

#include "support/FileSaving.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QFrame;
class QPlainTextEdit;
class QTextEdit;

namespace kestrova {

class TAlertGrid;
class TAllAlertsConnection;
class TColorButton;
class TPanelSplitter;

class TAlertPanel : public QWidget
{
    Q_OBJECT

public:
    // The grid's window connection registers with session for the panel's whole life.
    explicit TAlertPanel(TAllAlertsConnection &session, QWidget *parent = nullptr);
    // On the process-wide session.
    explicit TAlertPanel(QWidget *parent = nullptr);
    ~TAlertPanel() override;

    TAlertGrid &Grid() const { return *FGrid; }

    void SetDescriptionText(const std::string &text);
    std::string DescriptionText() const;
    // Shows "{" + text + "}" read as rich text, so the text may carry RTF markup.
    void SetStatusText(const std::string &text);
    const std::string &StatusText() const { return FStatusText; }
    // Writes the status box as an RTF file; raises EInOutError when the file cannot be written
    // (an existing file is then left as it was).
    void SaveStatus(const std::string &fileName) const;
    // Running: a red "Stop" button; otherwise a dark green "Backtest" button.
    void SetRunning(bool running);
    bool Running() const { return FRunning; }
    void SetBacktestButtonHandler(std::function<void()> handler);

    // Current strip heights in pixels; 0 while a strip is hidden.
    int DescriptionHeight() const;
    int BacktestHeight() const;
    // Remembers the height, snaps it to whole lines (at least one unless 0) and re-stacks.
    void SetDescriptionHeight(int height);
    void SetBacktestHeight(int height);
    // Both strips one line high and visible.
    void ShowAllPanels();
    // Clicks the backtest button, first showing the strips if the backtest bar is collapsed.
    void SimulateBacktestClick();

    // The feature's display name followed by its invitation.
    static std::string DefaultStatusText();

    QPlainTextEdit &DescriptionBox() const { return *FDescription; }
    QTextEdit &StatusBox() const { return *FStatus; }
    TColorButton &BacktestButton() const { return *FButton; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    enum TStrip { stDescription, stBacktest };

    // a = 0 gives 0; else the nearest whole number of lines plus the margin, at least one line
    // when asked, else 0.
    int Snap(TStrip strip, int requested, bool atLeastOneLine) const;
    QWidget &StripWidget(TStrip strip) const;
    TPanelSplitter &StripSplitter(TStrip strip) const;
    int &Remembered(TStrip strip)
    {
        return strip == stDescription ? FDescriptionHeight : FBacktestHeight;
    }
    void SetStripHeight(TStrip strip, int height);
    // Applies a height as shown; 0 hides the strip and its splitter.
    void ShowStrip(TStrip strip, int height);
    int ShownHeight(TStrip strip) const;
    void Restack();
    void FontChanged();
    void SplitterDragged(TStrip strip, int delta, bool finished);
    void LoadStatus();

    QPlainTextEdit *FDescription = nullptr;
    TPanelSplitter *FDescriptionSplitter = nullptr;
    QFrame *FBacktestBar = nullptr;
    TColorButton *FButton = nullptr;
    QWidget *FSpacer = nullptr;
    QTextEdit *FStatus = nullptr;
    TPanelSplitter *FBacktestSplitter = nullptr;
    TAlertGrid *FGrid = nullptr;

    int FDescriptionHeight = 0, FBacktestHeight = 0; // as last chosen
    int FDescriptionShown = 0, FBacktestShown = 0; // as shown (0 = hidden)
    int FDragStart = -1; // the strip's height when a splitter drag began
    bool FRunning = false;
    bool FInFontChange = false;
    std::string FStatusText;
    std::function<void()> FBacktestHandler;
};

} // namespace kestrova
