// kvshot --dialogs: opens the dialogs of an alert window one after the other and saves each
// over the window (the configure-alerts dialog once per page), then runs a backtest from the
// panel's button and saves the window while it runs and once its results are in.

#include "KvshotDialogs.h"

#include "dialogs/AlertWindowConfigForm.h"
#include "dialogs/QuorixConfigWindows.h"
#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"

#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

using namespace kestrova;

namespace {

QDialog *OpenDialog(TAlertGrid &grid)
{
    for (QDialog *dialog : grid.findChildren<QDialog *>())
        if (dialog->isVisible())
            return dialog;
    return ConfigureAlertsBusy() ? &ConfigureAlertsForm() : nullptr;
}

// The window with the dialog drawn where it stands on the screen.
QImage OverWindow(QWidget &window, QWidget &dialog)
{
    const QRect w(window.mapToGlobal(QPoint(0, 0)), window.size());
    const QRect d(dialog.mapToGlobal(QPoint(0, 0)), dialog.size());
    const QRect all = w.united(d);
    QImage image(all.size(), QImage::Format_RGB32);
    image.fill(QColor(64, 64, 64));
    QPainter painter(&image);
    painter.drawPixmap(w.topLeft() - all.topLeft(), window.grab());
    painter.drawPixmap(d.topLeft() - all.topLeft(), dialog.grab());
    painter.setPen(Qt::black);
    painter.drawRect(QRect(d.topLeft() - all.topLeft(), d.size()).adjusted(-1, -1, 0, 0));
    return image;
}

// A tab caption as a file-name part: "Window Name" gives "window-name".
std::string FileNamePart(const QString &caption)
{
    std::string part;
    for (const QChar c : caption.toLower())
        if (c.isLetterOrNumber())
            part += c.toLatin1();
        else if (!part.empty() && part.back() != '-')
            part += '-';
    return part;
}

struct TStep
{
    int DelayMs;
    std::function<void()> Run;
};

void RunSteps(std::shared_ptr<std::vector<TStep>> steps, size_t next, std::function<void()> done)
{
    if (next >= steps->size()) {
        done();
        return;
    }
    QTimer::singleShot((*steps)[next].DelayMs, [steps, next, done] {
        (*steps)[next].Run();
        RunSteps(steps, next + 1, done);
    });
}

} // namespace

void ShootDialogs(TAlertPanel &panel, const std::string &out, std::function<void()> done)
{
    TAlertGrid &grid = panel.Grid();
    const auto save = [&panel, out](const std::string &name, QWidget *dialog) {
        const std::string path = out + "/" + name + ".png";
        const QImage image = dialog ? OverWindow(panel, *dialog) : panel.grab().toImage();
        std::printf(
            "%s  %s\n", path.c_str(), image.save(QString::fromStdString(path)) ? "" : "FAILED");
    };
    const auto shot = [&grid, save](const char *name) {
        return [&grid, save, name] {
            QDialog *dialog = OpenDialog(grid);
            save(name, dialog);
            if (dialog)
                dialog->reject();
        };
    };
    auto steps = std::make_shared<std::vector<TStep>>(std::vector<TStep> {
        { 0, [&grid] { grid.TimeFrameClicked(); } },
        { 300, shot("dialog-timeframe") },
        { 0, [&grid] { grid.CollaborateClicked(); } },
        { 300, shot("dialog-collaborate") },
        { 0, [&grid] { grid.SaveContentsClicked(); } },
        { 300, shot("dialog-savecontents") },
        { 0, [&grid] { grid.ConfigureClicked(); } },
        // After the server's catalogue: each page in turn.
        { 2500,
            [&grid, save] {
                QDialog *dialog = OpenDialog(grid);
                auto *pages = dialog ? dialog->findChild<QTabWidget *>() : nullptr;
                for (int i = 0; pages && i < pages->count(); ++i) {
                    pages->setCurrentIndex(i);
                    save("dialog-configure-" + FileNamePart(pages->tabText(i)), dialog);
                }
                if (dialog)
                    dialog->reject();
            } },
        { 0, [&grid] { grid.QuorixButtonClicked(); } },
        { 300,
            [&grid, save] {
                QDialog *window = OpenDialog(grid);
                save("dialog-backtest", window);
                if (!window)
                    return;
                window->findChild<QLineEdit *>("DaysOfTestEdit")->setText("8");
                window->findChild<QPushButton *>("OkayButton")->click();
            } },
        { 700, [save] { save("backtest-running", nullptr); } },
    });
    // Then the results, once the run is over.
    RunSteps(steps, 0, [&panel, save, done] {
        auto *poll = new QTimer(&panel);
        poll->start(100);
        QObject::connect(poll, &QTimer::timeout, [&panel, poll, save, done] {
            if (panel.Running())
                return;
            poll->deleteLater();
            save("backtest-results", nullptr);
            done();
        });
    });
}
