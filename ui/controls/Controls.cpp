// Common control part and the simple controls: labels, text boxes, check
// boxes, option buttons, frames, command buttons, image boxes, the timer and
// top-level windows.
#include "ui/controls/Controls.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "engine/Fault.h"

QFont MapFont(const FontSpec& spec)
{
    // Liberation Sans is metric-compatible with Arial and close in width to
    // the small bitmap "MS Sans Serif", so both layout fonts map to it.
    QString family = spec.name;
    if (family.compare("MS Sans Serif", Qt::CaseInsensitive) == 0 || family.compare("Arial", Qt::CaseInsensitive) == 0)
        family = "Liberation Sans";
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(spec.points);
    f.setBold(spec.bold);
    return f;
}

namespace {
Qt::Alignment ToQt(Align a)
{
    switch (a) {
    case Align::Right:
        return Qt::AlignRight;
    case Align::Centre:
        return Qt::AlignHCenter;
    case Align::Left:
        break;
    }
    return Qt::AlignLeft;
}
} // namespace

// ---- Control -------------------------------------------------------------

void Control::attach(QWidget* w, QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    w_ = w;
    if (w_->parentWidget() != parent)
        w_->setParent(parent);
    w_->setObjectName(name);
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    place();
    fore_ = FromQColor(w_->palette().color(QPalette::WindowText));
    back_ = FromQColor(w_->palette().color(QPalette::Window));
    w_->show(); // shown with its container
}

void Control::place()
{
    w_->setGeometry(TwipsToPx(left_), TwipsToPx(top_), TwipsToPx(width_), TwipsToPx(height_));
}

QString Control::Name() const { return w_->objectName(); }
int Control::Left() const { return left_; }
int Control::Top() const { return top_; }
int Control::Width() const { return width_; }
int Control::Height() const { return height_; }
void Control::setLeft(int twips) { Move(twips, top_, width_, height_); }
void Control::setTop(int twips) { Move(left_, twips, width_, height_); }
void Control::setWidth(int twips) { Move(left_, top_, twips, height_); }
void Control::setHeight(int twips) { Move(left_, top_, width_, twips); }

void Control::Move(int left, int top, int width, int height)
{
    left_ = left;
    top_ = top;
    width_ = width < 0 ? 0 : width;
    height_ = height < 0 ? 0 : height;
    place();
}

bool Control::Visible() const { return !w_->isHidden(); }
void Control::setVisible(bool v) { w_->setVisible(v); }
bool Control::Enabled() const { return w_->isEnabled(); }
void Control::setEnabled(bool e) { w_->setEnabled(e); }
Colour Control::ForeColor() const { return fore_; }
Colour Control::BackColor() const { return back_; }

void Control::setForeColor(Colour c)
{
    fore_ = c;
    QPalette pal = w_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            pal.setColor(group, role, ToQColor(c));
    w_->setPalette(pal);
}

void Control::setBackColor(Colour c)
{
    back_ = c;
    // Only the roles the widget itself fills with, so that a frame's colour
    // does not leak into the edit fields inside it.
    QPalette pal = w_->palette();
    pal.setColor(QPalette::Window, ToQColor(c));
    if (qobject_cast<QLineEdit*>(w_) || w_->inherits("QComboBox"))
        pal.setColor(QPalette::Base, ToQColor(c));
    if (qobject_cast<QPushButton*>(w_) || w_->inherits("QComboBox"))
        pal.setColor(QPalette::Button, ToQColor(c));
    w_->setPalette(pal);
    w_->setAutoFillBackground(true);
}

void Control::setFont(const FontSpec& f) { w_->setFont(MapFont(f)); }
QString Control::ToolTipText() const { return w_->toolTip(); }
void Control::setToolTipText(const QString& t) { w_->setToolTip(t); }

// ---- Label -----------------------------------------------------------------

void Label::create(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                   int height, Align align)
{
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText); // a caption is never markup
    l->setWordWrap(true);
    l->setAlignment(ToQt(align) | Qt::AlignTop);
    l->setText(caption);
    attach(l, parent, name, left, top, width, height);
}

QString Label::Caption() const { return label()->text(); }
void Label::setCaption(const QString& c) { label()->setText(c); }
QLabel* Label::label() const { return static_cast<QLabel*>(w_); }

// ---- TextBox ---------------------------------------------------------------

void TextBox::create(QWidget* parent, const QString& name, const QString& text, int left, int top, int width,
                     int height, bool border, Align align)
{
    auto* e = new QLineEdit(parent);
    e->setFrame(border);
    e->setAlignment(ToQt(align) | Qt::AlignVCenter);
    e->setText(text);
    attach(e, parent, name, left, top, width, height);
    // textChanged comes once per actual change, from typing and from setText.
    QObject::connect(e, &QLineEdit::textChanged, &guard_, [this] {
        if (onChange)
            onChange();
    });
}

QString TextBox::Text() const { return edit()->text(); }

void TextBox::setText(const QString& t)
{
    if (t != edit()->text())
        edit()->setText(t);
}

QLineEdit* TextBox::edit() const { return static_cast<QLineEdit*>(w_); }

// ---- CheckBox --------------------------------------------------------------

void CheckBox::create(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                      int height)
{
    auto* b = new QCheckBox(caption, parent);
    attach(b, parent, name, left, top, width, height);
    QObject::connect(b, &QCheckBox::toggled, &guard_, [this] {
        if (onClick)
            onClick();
    });
}

int CheckBox::Value() const { return box()->isChecked() ? 1 : 0; }

void CheckBox::setValue(int v)
{
    if (v != 0 && v != 1)
        throw Fault(Fault::Kind::OutOfRange, "check box value must be 0 or 1");
    box()->setChecked(v == 1); // toggled fires only on a change
}

QString CheckBox::Caption() const { return box()->text(); }
void CheckBox::setCaption(const QString& c) { box()->setText(c); }
QCheckBox* CheckBox::box() const { return static_cast<QCheckBox*>(w_); }

// ---- OptionButton ----------------------------------------------------------

namespace {
const char* const kOptionGroup = "parluneOptionGroup";

QButtonGroup* groupOf(QWidget* container)
{
    auto* g = container->findChild<QButtonGroup*>(kOptionGroup, Qt::FindDirectChildrenOnly);
    if (!g) {
        g = new QButtonGroup(container);
        g->setObjectName(kOptionGroup);
        g->setExclusive(true);
    }
    return g;
}
} // namespace

void OptionButton::create(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                          int width, int height)
{
    auto* b = new QRadioButton(caption, parent);
    b->setAutoExclusive(false); // the container's group does it
    groupOf(parent)->addButton(b);
    attach(b, parent, name, left, top, width, height);
    QObject::connect(b, &QRadioButton::toggled, &guard_, [this](bool on) {
        if (on && !quiet_ && onClick)
            onClick();
    });
}

bool OptionButton::Value() const { return button()->isChecked(); }

void OptionButton::setValue(bool v)
{
    if (v == button()->isChecked())
        return;
    if (v) {
        button()->setChecked(true); // the group clears the others first
        return;
    }
    // An exclusive group refuses to uncheck its checked button.
    QButtonGroup* g = button()->group();
    if (g)
        g->setExclusive(false);
    button()->setChecked(false);
    if (g)
        g->setExclusive(true);
}

QString OptionButton::Caption() const { return button()->text(); }
QRadioButton* OptionButton::button() const { return static_cast<QRadioButton*>(w_); }

// ---- Frame -----------------------------------------------------------------

void Frame::create(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                   int height)
{
    auto* g = new QGroupBox(caption, parent);
    client_ = g;
    attach(g, parent, name, left, top, width, height);
}

QString Frame::Caption() const { return group()->title(); }
void Frame::setCaption(const QString& c) { group()->setTitle(c); }
QWidget* Frame::client() const { return client_; }
QGroupBox* Frame::group() const { return static_cast<QGroupBox*>(w_); }

// ---- CommandButton ---------------------------------------------------------

void CommandButton::create(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                           int width, int height)
{
    auto* b = new QPushButton(caption, parent);
    b->setAutoDefault(false);
    attach(b, parent, name, left, top, width, height);
    QObject::connect(b, &QPushButton::clicked, &guard_, [this] {
        if (onClick)
            onClick();
    });
}

QString CommandButton::Caption() const { return button()->text(); }
void CommandButton::setCaption(const QString& c) { button()->setText(c); }
void CommandButton::Click() { button()->click(); } // nothing while disabled
QPushButton* CommandButton::button() const { return static_cast<QPushButton*>(w_); }

// ---- ImageBox --------------------------------------------------------------

void ImageBox::create(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    attach(new QWidget(parent), parent, name, left, top, width, height);
    w_->hide();
}

// ---- Timer -----------------------------------------------------------------

void Timer::create(QObject* parent, const QString& name)
{
    t_ = new QTimer(parent);
    t_->setObjectName(name);
    QObject::connect(t_, &QTimer::timeout, &guard_, [this] {
        if (onTimer)
            onTimer();
    });
}

int Timer::Interval() const { return interval_; }

void Timer::setInterval(int ms)
{
    interval_ = ms < 0 ? 0 : ms;
    apply();
}

bool Timer::Enabled() const { return enabled_; }

void Timer::setEnabled(bool e)
{
    enabled_ = e;
    apply();
}

void Timer::apply()
{
    if (enabled_ && interval_ > 0) {
        if (!t_->isActive() || t_->interval() != interval_)
            t_->start(interval_);
    } else {
        t_->stop();
    }
}

// ---- Window ----------------------------------------------------------------

Window::Window(const QString& name, QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(name);
    setFont(MapFont(FontSpec{}));
}

QString Window::Caption() const { return windowTitle(); }
void Window::setCaption(const QString& c) { setWindowTitle(c); }
int Window::Left() const { return frameGeometry().x() * kTwipsPerPixel; }
int Window::Top() const { return frameGeometry().y() * kTwipsPerPixel; }
int Window::Width() const { return frameGeometry().width() * kTwipsPerPixel; }
int Window::Height() const { return frameGeometry().height() * kTwipsPerPixel; }
void Window::setLeft(int twips) { move(TwipsToPx(twips), pos().y()); }
void Window::setTop(int twips) { move(pos().x(), TwipsToPx(twips)); }

void Window::setWidth(int twips)
{
    const int frame = frameGeometry().width() - width();
    resize(std::max(0, TwipsToPx(twips) - frame), height());
}

void Window::setHeight(int twips)
{
    const int frame = frameGeometry().height() - height();
    resize(width(), std::max(0, TwipsToPx(twips) - frame));
}

void Window::setClientSize(int widthTwips, int heightTwips)
{
    resize(TwipsToPx(widthTwips), TwipsToPx(heightTwips));
}

void Window::setBackColor(Colour c)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(c));
    setPalette(pal);
    setAutoFillBackground(true);
}
