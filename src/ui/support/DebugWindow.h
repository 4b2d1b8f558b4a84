#pragma once
// The process-wide debug window: a top-level window that shows every report, batched so that a
// burst of reports costs one repaint. GUI thread only.

#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>
#include <string>

namespace kestrova {

class TMiscDebugWindow : public QWidget
{
    Q_OBJECT
public:
    // Adds a report: creates the window on first use (only when a widget application exists),
    // queues the text for the next timer tick and shows the window.
    static void Post(const std::string &text);
    // Makes Post the debug log's sink, so that every report reaches the window.
    static void Install();
    // Frees the window (the next Post makes a new one). The library calls it as it shuts down,
    // while the application object and everything Qt needs still exist; nothing else frees it.
    static void Destroy();
    // The window, or nullptr when none was created yet.
    static TMiscDebugWindow *Instance();

    QString Text() const { return Memo1->toPlainText(); }
    bool Waiting() const { return FWaiting; }
    // The batching tick; public so tests can run it without waiting.
    void Timer1Timer();
    ~TMiscDebugWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TMiscDebugWindow();
    void Add(const std::string &text);

    QPlainTextEdit *Memo1;
    QTimer Timer1;
    QString Pending;
    bool FWaiting = false;
};

} // namespace kestrova
