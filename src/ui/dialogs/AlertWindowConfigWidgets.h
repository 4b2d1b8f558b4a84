#pragma once
// Small widgets of the configure-alerts dialog: the icon box, the wrapping check box and the
// category link.

#include <QCheckBox>
#include <QLabel>
#include <QWidget>
#include <string>

namespace kestrova {

class IAlertPictures;

// Shows one server picture (alert-type icon: sunken edge, picture at (2, 2); filter icon:
// picture at (0, 0)); nothing while the picture is not there. A left click asks for help; a
// right button pressed and released on the box asks to go to the entry's row.
class TIconBox : public QWidget
{
    Q_OBJECT
public:
    TIconBox(
        IAlertPictures *pictures, int kind, std::string fileName, bool sunken, QWidget *parent);

signals:
    void HelpClicked();
    void GoToRowClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    IAlertPictures *FPictures;
    int FKind;
    std::string FFileName;
    bool FSunken;
    bool FRightDown = false;
};

// A check box whose caption wraps: a text-less box beside a word-wrapped label that toggles it.
class TWrapCheckBox : public QWidget
{
    Q_OBJECT
public:
    TWrapCheckBox(const QString &text, QWidget *parent);
    QCheckBox *Box() const { return FBox; }
    QLabel *Label() const { return FLabel; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QCheckBox *FBox;
    QLabel *FLabel;
};

// A blue, underlined label with the hand cursor that reports clicks.
class TLinkLabel : public QLabel
{
    Q_OBJECT
public:
    TLinkLabel(const QString &text, QWidget *parent);
signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// Caption text that shows every "&" literally.
QString CaptionText(const std::string &text);
// The strategy tree's images: 0 to 5 by the ICON attribute, 6 the loaded mark; 17 x 17.
QIcon StrategyImage(int index);

} // namespace kestrova
