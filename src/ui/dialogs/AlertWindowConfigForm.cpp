#include "dialogs/AlertWindowConfigForm.h"

#include "dialogs/AlertPictures.h"
#include "dialogs/AlertWindowConfigWidgets.h"
#include "session/GetAlertData.h"
#include "support/DebugLog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>

namespace kestrova {

namespace {
constexpr int ScrollIncrement = 32;

const char *const PageCaptions[] = { "Strategies", "Search", "Select Alerts",
    "Window Specific Filters", "Exchanges", "Symbol Lists", "Window Name" };

// Gives the widgets the widest face of font with which width() stays within room (the last
// one tried when none does). Captions sized for a small system font still fit one row.
void FitWithNarrowerFont(const QFont &font, const std::vector<QWidget *> &widgets, int room,
    const std::function<int()> &width)
{
    for (int stretch : { QFont::Unstretched, QFont::SemiCondensed, QFont::Condensed }) {
        QFont face = font;
        face.setStretch(stretch);
        for (QWidget *widget : widgets)
            widget->setFont(face);
        if (width() <= room)
            return;
    }
}

// Tabs with less padding than the platform gives them.
class TCompactTabStyle : public QProxyStyle
{
public:
    int pixelMetric(
        PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        if (metric == PM_TabBarTabHSpace)
            return 10;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};
} // namespace

TConfigureAlertsForm::TConfigureAlertsForm(IAlertConfigSession &session, IAlertPictures *pictures)
    : QDialog(nullptr)
    , FModel(session, *this)
    , FSession(session)
    , FPictures(pictures)
{
    for (int i = 0; i < static_cast<int>(FImages.size()); ++i)
        FImages[i] = StrategyImage(i);
    BuildFixedLayout();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        for (int p = 0; p < tpPageCount; ++p)
            if (now && Page(TPage(p))->isAncestorOf(now))
                FPageFocus[p] = now;
    });
    if (FPictures)
        for (int p : { tpStrategies, tpSearch, tpSelectAlerts, tpFilters, tpWindowName })
            FPictures->RegisterViewer(FPageBox[p]->widget());
}

TConfigureAlertsForm::~TConfigureAlertsForm()
{
    // The controls go after this object's own part: none of their signals may reach it then.
    qApp->removeEventFilter(this);
    disconnect(qApp, nullptr, this, nullptr);
    for (QObject *child : findChildren<QObject *>())
        child->blockSignals(true);
    if (FPictures)
        for (int p : { tpStrategies, tpSearch, tpSelectAlerts, tpFilters, tpWindowName })
            FPictures->UnregisterViewer(FPageBox[p]->widget());
}

QWidget *TConfigureAlertsForm::Page(TPage page) const
{
    return FPages->widget(page);
}

QScrollArea *TConfigureAlertsForm::NewScrollBox(
    QWidget *page, const QRect &geometry, const char *name)
{
    auto *box = new QScrollArea(page);
    box->setObjectName(name);
    box->setGeometry(geometry);
    box->setWidgetResizable(false);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->verticalScrollBar()->setSingleStep(ScrollIncrement);
    auto *content = new QWidget;
    content->resize(geometry.width() - 2 * box->frameWidth(), 0);
    box->setWidget(content);
    return box;
}

void TConfigureAlertsForm::BuildFixedLayout()
{
    // The name a host looks the shared dialog up by among its top-level windows.
    setObjectName("ConfigureAlertsForm");
    setWindowTitle("Configure Alerts");
    setFixedSize(525, 356);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    FPages = new QTabWidget(this);
    FPages->setObjectName("PageControl1");
    FPages->setGeometry(2, 2, 521, 313);
    for (const char *caption : PageCaptions)
        FPages->addTab(new QWidget, caption);
    FitTabs();
    BuildStrategiesPage(Page(tpStrategies));
    BuildSearchPage(Page(tpSearch));
    FPageBox[tpSelectAlerts]
        = NewScrollBox(Page(tpSelectAlerts), QRect(8, 8, 497, 265), "SelectAlertsScrollBox");
    FPageBox[tpFilters]
        = NewScrollBox(Page(tpFilters), QRect(8, 8, 497, 265), "WindowSpecificFiltersScrollBox");
    FPageBox[tpExchanges]
        = NewScrollBox(Page(tpExchanges), QRect(8, 8, 497, 265), "ExchangesScrollBox");
    BuildSymbolListsPage(Page(tpSymbolLists));
    BuildWindowNamePage(Page(tpWindowName));
    connect(FPages, &QTabWidget::currentChanged, this, &TConfigureAlertsForm::PageChanged);

    FPleaseWait = new QLabel("Please Wait", this);
    FPleaseWait->setObjectName("PleaseWaitPanel");
    FPleaseWait->setGeometry(2, 2, 521, 313);
    FPleaseWait->setAlignment(Qt::AlignCenter);
    FPleaseWait->setAutoFillBackground(true);
    FPleaseWait->setFrameShape(QFrame::Panel);
    FPleaseWait->setFrameShadow(QFrame::Raised);
    QFont big("Arial");
    big.setPixelSize(32);
    FPleaseWait->setFont(big);

    auto button = [this](const char *caption, const char *name, int x) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(x, 324, 75, 25);
        return b;
    };
    FOkay = button("OK", "OkayButton", 282);
    FOkay->setDefault(true);
    FOkay->setEnabled(false);
    FCancel = button("Cancel", "CancelButton", 363);
    FFlip = button("Flip", "FlipButton", 444);
    FFlip->setEnabled(false);
    connect(FOkay, &QPushButton::clicked, this, [this] {
        RunGuarded("AlertWindowConfig, TConfigureAlertsForm.OkayButtonClick",
            [this] { OkayButtonClick(); });
    });
    connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(FFlip, &QPushButton::clicked, this, [this] {
        RunGuarded("AlertWindowConfig, TConfigureAlertsForm.FlipButtonClick",
            [this] { FlipButtonClick(); });
    });

    FRetryTimer = new QTimer(this);
    FRetryTimer->setSingleShot(true);
    connect(FRetryTimer, &QTimer::timeout, this, [this] {
        RunGuarded("AlertWindowConfig, TConfigureAlertsForm.Timer1Timer",
            [this] { FModel.RetryTimerFired(); });
    });
}

void TConfigureAlertsForm::FitTabs()
{
    // Seven captions in 521 pixels: tight padding, and a narrower face of the font when the
    // system has one. Where nothing fits, the tab bar's scroll buttons remain.
    QTabBar *bar = FPages->tabBar();
    auto *style = new TCompactTabStyle;
    style->setParent(this);
    bar->setStyle(style);
    FitWithNarrowerFont(font(), { bar }, FPages->width() - 4, [bar] {
        int width = 0;
        for (int i = 0; i < bar->count(); ++i)
            width += bar->tabRect(i).width();
        return width;
    });
}

void TConfigureAlertsForm::BuildStrategiesPage(QWidget *page)
{
    FTree = new QTreeWidget(page);
    FTree->setObjectName("StrategyTreeView");
    FTree->setGeometry(8, 8, 241, 265);
    FTree->setHeaderHidden(true);
    FTree->setIndentation(20);
    FTree->setIconSize(QSize(17, 17));
    FTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(FTree, &QTreeWidget::currentItemChanged, this, [this] {
        RunGuarded("AlertWindowConfig, TConfigureAlertsForm.StrategyTreeViewChange",
            [this] { StrategySelected(); });
    });
    connect(FTree, &QTreeWidget::itemDoubleClicked, this, [this] {
        RunGuarded("AlertWindowConfig, TConfigureAlertsForm.StrategyTreeViewDblClick", [this] {
            if (FModel.StrategyDoubleClicked(SelectedNode()))
                accept();
        });
    });
    FPageBox[tpStrategies]
        = NewScrollBox(page, QRect(256, 8, 249, 233), "StrategyDescriptionScrollBox");
    QWidget *content = FPageBox[tpStrategies]->widget();
    FDescription = new QLabel(content);
    FDescription->setObjectName("StrategyDescriptionLabel");
    FDescription->setTextFormat(Qt::PlainText);
    FDescription->setWordWrap(true);
    FDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FCurrentIcons = new QWidget(content);
    FCurrentIcons->setObjectName("CurrentIconsPanel");
    FLoadSettings = new QPushButton("Load Settings", page);
    FLoadSettings->setObjectName("LoadSettingsButton");
    FLoadSettings->setGeometry(256, 248, 100, 25);
    FLoadSettings->setEnabled(false);
    connect(FLoadSettings, &QPushButton::clicked, this, [this] {
        RunGuarded("AlertWindowConfig, TConfigureAlertsForm.LoadSettingsButtonClick",
            [this] { FModel.LoadStrategy(SelectedNode()); });
    });
}

void TConfigureAlertsForm::BuildSearchPage(QWidget *page)
{
    FSearchEdit = new QLineEdit(page);
    FSearchEdit->setObjectName("SearchEdit");
    FSearchEdit->setGeometry(8, 8, 497, 21);
    connect(FSearchEdit, &QLineEdit::textChanged, this, [this] {
        RunGuarded(
            "AlertWindowConfig, TConfigureAlertsForm.SearchEditChange", [this] { FilterSearch(); });
    });
    FPageBox[tpSearch] = NewScrollBox(page, QRect(8, 34, 497, 225), "SearchScrollBox");
    FPageBox[tpSearch]->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *hint = new QLabel("Left click on an icon for help.  Right click on an icon to view or "
                            "modify the setting.  Type to search.",
        page);
    FitWithNarrowerFont(font(), { hint }, 497, [hint] { return hint->sizeHint().width(); });
    hint->setGeometry(8, 263, 497, 16);
}

void TConfigureAlertsForm::BuildSymbolListsPage(QWidget *page)
{
    static const char *const captions[] = { "All Symbols",
        "Only the following lists:", "Exclude the following lists:", "Single symbol:" };
    for (int mode = smAll; mode <= smSingle; ++mode) {
        auto *radio = new QRadioButton(captions[mode], page);
        radio->setObjectName(QString("SymbolMode%1").arg(mode));
        FModeButtons[mode] = radio;
        connect(radio, &QRadioButton::toggled, this, [this, mode](bool on) {
            if (on && !FRefreshing)
                RunGuarded("AlertWindowConfig, TConfigureAlertsForm.SymbolListsRadioButtonClick",
                    [&] { FModel.SetSymbolMode(TSymbolMode(mode)); });
        });
    }
    // One row across the page, the space left shared out between the buttons.
    const std::vector<QWidget *> radios(FModeButtons, FModeButtons + 4);
    auto captionsWidth = [&radios] {
        int width = 0;
        for (QWidget *radio : radios)
            width += radio->sizeHint().width();
        return width;
    };
    FitWithNarrowerFont(font(), radios, 497 - 3 * 8, captionsWidth);
    const int gap = std::clamp((497 - captionsWidth()) / 3, 4, 24);
    int x = 8;
    for (QWidget *radio : radios) {
        radio->setGeometry(x, 8, radio->sizeHint().width(), radio->sizeHint().height());
        x += radio->width() + gap;
    }
    FModeButtons[smAll]->setChecked(true);
    FPageBox[tpSymbolLists] = NewScrollBox(page, QRect(8, 32, 497, 241), "SymbolListsScrollBox");
    FSingleSymbol = new QLineEdit(page);
    FSingleSymbol->setObjectName("SingleSymbolEdit");
    FSingleSymbol->setGeometry(8, 32, 121, 21);
    FSingleSymbol->hide();
    connect(FSingleSymbol, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!FRefreshing)
            FModel.SetSingleSymbol(text.toStdString());
    });
}

void TConfigureAlertsForm::BuildWindowNamePage(QWidget *page)
{
    FWindowName = new QLineEdit(page);
    FWindowName->setObjectName("WindowNameEdit");
    FWindowName->setGeometry(8, 8, 497, 21);
    connect(FWindowName, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!FRefreshing)
            FModel.SetWindowName(text.toStdString());
    });
    FRecentLabel = new QLabel("Recent Changes:", page);
    FRecentLabel->setGeometry(8, 40, 497, 16);
    FRecentLabel->hide();
    FPageBox[tpWindowName] = NewScrollBox(page, QRect(8, 56, 497, 209), "RecentChangesScrollBox");
    FPageBox[tpWindowName]->hide();
}

void TConfigureAlertsForm::open()
{
    // Shared by every window, so modal to all of them; still no nested event loop.
    setWindowModality(Qt::ApplicationModal);
    setResult(0);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void TConfigureAlertsForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    FOkay->setEnabled(false);
    FFlip->setEnabled(false);
    FPleaseWait->show();
    FPleaseWait->raise();
    qApp->installEventFilter(this);
    FModel.Shown();
}

void TConfigureAlertsForm::done(int result)
{
    qApp->removeEventFilter(this);
    FModel.Hidden();
    QDialog::done(result);
}

void TConfigureAlertsForm::StartRetryTimer(int intervalMs)
{
    FRetryTimer->start(intervalMs);
}

void TConfigureAlertsForm::StopRetryTimer()
{
    FRetryTimer->stop();
}

void TConfigureAlertsForm::ShowOptions()
{
    for (auto &focus : FPageFocus)
        focus = nullptr;
    FPages->setCurrentIndex(tpStrategies);
    FPleaseWait->hide();
    FFlip->setEnabled(true);
}

void TConfigureAlertsForm::Refresh()
{
    // Control signals are ignored while the controls show the model.
    QScopedValueRollback<bool> refreshing(FRefreshing, true);
    const TAlertConfigRecord &r = FModel.Record();
    auto setText = [](QLineEdit *edit, const std::string &text) {
        const QString value = QString::fromStdString(text);
        if (edit && edit->text() != value)
            edit->setText(value);
    };
    for (size_t i = 0; i < std::min(FTypeRows.size(), r.AlertTypes.size()); ++i) {
        FTypeRows[i].Check->Box()->setChecked(r.AlertTypes[i].Checked);
        setText(FTypeRows[i].Quality, r.AlertTypes[i].Quality);
    }
    for (size_t i = 0; i < std::min(FFilterRows.size(), r.Filters.size()); ++i) {
        if (auto *box = qobject_cast<QCheckBox *>(FFilterRows[i].Check))
            box->setChecked(r.Filters[i].Checked);
        setText(FFilterRows[i].Edit, r.Filters[i].Value);
    }
    for (size_t i = 0; i < std::min(FExchangeBoxes.size(), r.Exchanges.size()); ++i)
        static_cast<QCheckBox *>(FExchangeBoxes[i])->setChecked(r.Exchanges[i].Checked);
    for (size_t i = 0; i < std::min(FListBoxes.size(), r.SymbolLists.size()); ++i)
        static_cast<QCheckBox *>(FListBoxes[i])->setChecked(r.SymbolLists[i].Checked);
    FModeButtons[r.SymbolMode]->setChecked(true);
    FSingleSymbol->setVisible(r.SymbolMode == smSingle);
    FPageBox[tpSymbolLists]->setVisible(r.SymbolMode != smSingle);
    setText(FSingleSymbol, r.SingleSymbol);
    setText(FWindowName, r.WindowName);

    FOkay->setEnabled(FModel.OkEnabled());
    const auto &nodes = FModel.Strategies().Nodes;
    for (size_t i = 0; i < std::min(FNodes.size(), nodes.size()); ++i)
        FNodes[i]->setIcon(0,
            FImages[static_cast<int>(i) == FModel.LoadedNode() ? LoadedMarkImage
                                                               : nodes[i].Image()]);
    FLoadSettings->setEnabled(FModel.CanLoadStrategy(SelectedNode()));
    RefreshRecentChanges();
}

void TConfigureAlertsForm::OkayButtonClick()
{
    if (FModel.OkPressed(FPages->currentIndex() == tpWindowName) == okGoToWindowName) {
        FPages->setCurrentIndex(tpWindowName);
        FWindowName->setFocus();
        return;
    }
    accept();
}

void TConfigureAlertsForm::FlipButtonClick()
{
    FModel.FlipSettings();
    FPages->setCurrentIndex(tpWindowName);
}

void TConfigureAlertsForm::PageChanged(int index)
{
    QWidget *focus = QApplication::focusWidget();
    if (focus == FPages->tabBar() || focus == FPages || focus == FCancel)
        (FOkay->isEnabled() ? FOkay : FCancel)->setFocus();
    if (index >= 0 && index < tpPageCount && FPageFocus[index]
        && FPageFocus[index]->isVisibleTo(Page(TPage(index))))
        FPageFocus[index]->setFocus();
    // The active page's tab alone is highlighted.
    for (int i = 0; i < FPages->count(); ++i)
        FPages->tabBar()->setTabTextColor(i,
            i == index ? palette().color(QPalette::Highlight)
                       : palette().color(QPalette::WindowText));
}

bool TConfigureAlertsForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel || !watched->isWidgetType())
        return QDialog::eventFilter(watched, event);
    auto *widget = static_cast<QWidget *>(watched);
    if (widget != this && !isAncestorOf(widget))
        return false;
    // The strategy tree scrolls itself; everywhere else the wheel moves the active page.
    if (widget == FTree || FTree->isAncestorOf(widget))
        return false;
    WheelOnPage(static_cast<QWheelEvent *>(event)->angleDelta().y());
    return true;
}

void TConfigureAlertsForm::WheelOnPage(int delta)
{
    QScrollArea *box = FPageBox[FPages->currentIndex()];
    QScrollBar *bar = box ? box->verticalScrollBar() : nullptr;
    if (delta == 0 || !bar || !box->isVisible() || bar->maximum() <= bar->minimum())
        return;
    bar->setValue(bar->value() + (delta > 0 ? -ScrollIncrement : ScrollIncrement));
}

void TConfigureAlertsForm::ShowHelp(bool isFilter, int index)
{
    const TAlertConfigRecord &r = FModel.Record();
    if (isFilter)
        FSession.ShowPrefixedHelpTopic(r.Filters.at(index).Name);
    else
        FSession.ShowHelpTopic(r.AlertTypes.at(index).Code);
}

void TConfigureAlertsForm::GoToRow(bool isFilter, int index)
{
    const TPage page = isFilter ? tpFilters : tpSelectAlerts;
    FPages->setCurrentIndex(page);
    FPageBox[page]->verticalScrollBar()->setValue(ScrollIncrement * index);
}

TAllAlertsConnection &TAlertConfigSession::Session() const
{
    return FSession ? *FSession : AllAlertsConnection();
}

IServerRequests &TAlertConfigSession::Requests()
{
    return Session();
}

std::string TAlertConfigSession::ReplacementSamplesUrl() const
{
    return Session().ReplacementSamplesUrl;
}

std::array<uint64_t, 2> TAlertConfigSession::Generation() const
{
    return { Session().LinksCreated(), Session().ResetCount() };
}

void TAlertConfigSession::ShowHelpTopic(const std::string &topic)
{
    Session().ShowHelpTopic(topic);
}

void TAlertConfigSession::ShowPrefixedHelpTopic(const std::string &topic)
{
    Session().ShowPrefixedHelpTopic(topic);
}

// The process-wide dialog on the process-wide session.
namespace {

TAlertConfigSession ProcessSession;
TConfigureAlertsForm *SharedForm = nullptr;

} // namespace

TConfigureAlertsForm &ConfigureAlertsForm()
{
    if (!SharedForm) {
        try {
            SharedForm = new TConfigureAlertsForm(ProcessSession, AlertPictures());
        } catch (const std::exception &e) {
            ReportException(e, "Error inTConfigureAlertsForm.Find");
            throw;
        }
    }
    return *SharedForm;
}

void FreeConfigureAlertsForm()
{
    if (!SharedForm)
        return;
    TConfigureAlertsForm *form = std::exchange(SharedForm, nullptr);
    if (form->isVisible())
        form->reject();
    // Later: this may run inside one of the dialog's own handlers.
    form->deleteLater();
}

TConfigureAlertsForm *ExistingConfigureAlertsForm()
{
    return SharedForm;
}

bool ConfigureAlertsBusy()
{
    return SharedForm && SharedForm->isVisible();
}

bool OpenConfigureAlerts(QObject *owner, const std::string &config,
    std::function<void(uintptr_t)> beforeModal,
    std::function<void(const TConfigureAlertsResult &)> done)
{
    if (ConfigureAlertsBusy())
        return false;
    return OpenConfigureAlerts(
        ConfigureAlertsForm(), owner, config, std::move(beforeModal), std::move(done));
}

bool OpenConfigureAlerts(TConfigureAlertsForm &form, QObject *owner, const std::string &config,
    std::function<void(uintptr_t)> beforeModal,
    std::function<void(const TConfigureAlertsResult &)> done)
{
    if (form.isVisible())
        return false;
    form.SetConfigToEdit(config);
    // Connections of this showing only: they go with this context when the dialog closes.
    auto *showing = new QObject(&form);
    auto ownerGone = std::make_shared<bool>(false);
    if (owner)
        QObject::connect(owner, &QObject::destroyed, showing, [&form, ownerGone] {
            *ownerGone = true;
            form.reject();
        });
    QObject::connect(&form, &QDialog::finished, showing,
        [&form, showing, ownerGone, done = std::move(done)](int result) {
            QObject::disconnect(&form, nullptr, showing, nullptr);
            showing->deleteLater();
            TConfigureAlertsResult outcome;
            outcome.Accepted = result == QDialog::Accepted;
            if (outcome.Accepted) {
                outcome.Changed = form.Model().ConfigChanged();
                outcome.Config = form.Model().BuildConfigString();
            }
            if (!*ownerGone && done)
                RunGuarded(
                    "AlertWindowConfig, TConfigureAlertsForm finished", [&] { done(outcome); });
        });
    if (beforeModal)
        RunGuarded("AlertWindowConfig, OnBeforeModal",
            [&] { beforeModal(static_cast<uintptr_t>(form.winId())); });
    form.open();
    return true;
}

} // namespace kestrova
