// Common control part and the simple controls: labels, text boxes, check
// boxes, option buttons, frames, command buttons, image boxes, the timer and
// top-level windows.
#include "controls/Controls.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

#include "engine/Fault.h"

QFont MapFont(const FontSpec& spec)
{
    // Liberation Sans is metric-compatible with Arial.  It also stands in for
    // the small bitmap "MS Sans Serif": same height at a size (8.25 pt = 11 px
    // at 96 dpi, 13 px line), but about 8 % wider, so it is narrowed to keep
    // captions within the boxes the layout gives them.
    const bool sansSerif = spec.name.compare("MS Sans Serif", Qt::CaseInsensitive) == 0;
    QString family = spec.name;
    if (sansSerif || family.compare("Arial", Qt::CaseInsensitive) == 0)
        family = "Liberation Sans";
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(spec.points);
    f.setBold(spec.bold);
    // Set either way: a font left unstretched would inherit the window's 92.
    f.setStretch(sansSerif ? 92 : QFont::Unstretched);
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

// Captions of check boxes, option buttons and command buttons wrap at blanks
// within the control's box, as the classic toolkit draws them; the widget's
// text stays the caption as given.
constexpr int kCaptionFlags = Qt::TextWordWrap | Qt::TextShowMnemonic;

// Check box or option button: indicator at the left, caption beside it,
// wrapped and vertically centred.  A click anywhere in the box counts.
template <class Base, QStyle::PrimitiveElement Indicator, QStyle::SubElement IndicatorRect,
          QStyle::SubElement ContentsRect>
class WrappingToggle : public Base {
public:
    using Base::Base;

protected:
    bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }

    void paintEvent(QPaintEvent*) override
    {
        QStylePainter p(this);
        QStyleOptionButton opt;
        this->initStyleOption(&opt);
        QStyleOptionButton ind = opt;
        ind.rect = this->style()->subElementRect(IndicatorRect, &opt, this);
        p.drawPrimitive(Indicator, ind);
        const QRect text = this->style()->subElementRect(ContentsRect, &opt, this);
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | kCaptionFlags;
        p.drawItemText(text, flags, opt.palette, this->isEnabled(), opt.text, QPalette::WindowText);
        if (this->hasFocus() && !opt.text.isEmpty()) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(opt);
            focus.rect = p.fontMetrics().boundingRect(text, flags, opt.text).adjusted(-1, 0, 1, 0) & this->rect();
            p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
};

using WrappingCheckBox = WrappingToggle<QCheckBox, QStyle::PE_IndicatorCheckBox, QStyle::SE_CheckBoxIndicator,
                                        QStyle::SE_CheckBoxContents>;
using WrappingRadioButton = WrappingToggle<QRadioButton, QStyle::PE_IndicatorRadioButton,
                                           QStyle::SE_RadioButtonIndicator, QStyle::SE_RadioButtonContents>;

// Push button whose caption wraps, centred both ways.
class WrappingPushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        p.drawControl(QStyle::CE_PushButtonBevel, opt);
        QRect text = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
        if (opt.state & (QStyle::State_Sunken | QStyle::State_On))
            text.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &opt, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &opt, this));
        p.drawItemText(text, Qt::AlignCenter | kCaptionFlags, opt.palette, isEnabled(), opt.text,
                       QPalette::ButtonText);
        if (opt.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(opt);
            focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &opt, this);
            p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
};

// Group box drawn the classic way: an etched border whose top edge runs
// through the middle of the caption line, the caption on that edge near the
// left.  Children keep their places measured from the outer top-left corner.
class ClassicGroupBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QFontMetrics fm(font());
        const int w = width(), h = height();
        const int top = fm.height() / 2; // border runs through the caption's middle
        constexpr int kTextLeft = 8;     // px from the left edge to the caption
        const QString caption = title();
        const int textWidth = caption.isEmpty() ? 0 : fm.horizontalAdvance(QString(caption).remove('&'));
        const int gapFrom = caption.isEmpty() ? w : kTextLeft - 2;
        const int gapTo = std::min(w, kTextLeft + textWidth + 2);

        // Etched: a shadow rectangle with a light one offset by a pixel.
        auto edge = [&](int dx, const QColor& c) {
            p.setPen(c);
            const int l = dx, t = top + dx, r = w - 2 + dx, b = h - 2 + dx;
            p.drawLine(l, t, l, b);
            p.drawLine(l, b, r, b);
            p.drawLine(r, t, r, b);
            p.drawLine(l, t, std::min(r, gapFrom + dx), t);
            if (gapTo < r)
                p.drawLine(gapTo, t, r, t);
        };
        edge(0, palette().color(QPalette::Dark));
        edge(1, palette().color(QPalette::Light));

        if (!caption.isEmpty())
            style()->drawItemText(&p, QRect(kTextLeft, 0, w - kTextLeft, fm.height()),
                                  Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextSingleLine,
                                  palette(), isEnabled(), caption, QPalette::WindowText);
    }
};
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
    auto* b = new WrappingCheckBox(caption, parent);
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
    auto* b = new WrappingRadioButton(caption, parent);
    b->setAutoExclusive(false); // the container's group does it
    groupOf(parent)->addButton(b);
    attach(b, parent, name, left, top, width, height);
    // A user's click (mouse, keyboard, click()) is a Click even on the
    // selected button: it asks for that option again.  Selection from code
    // is a Click only when it changes something.  Qt announces a user's
    // click as pressed, toggled, released, clicked.
    QObject::connect(b, &QAbstractButton::pressed, &guard_, [this] { userClick_ = true; });
    QObject::connect(b, &QAbstractButton::released, &guard_, [this] { userClick_ = false; });
    QObject::connect(b, &QRadioButton::toggled, &guard_, [this](bool on) {
        if (on && !userClick_ && onClick)
            onClick();
    });
    QObject::connect(b, &QAbstractButton::clicked, &guard_, [this] {
        if (button()->isChecked() && onClick)
            onClick();
    });
}

bool OptionButton::Value() const { return button()->isChecked(); }

void OptionButton::setValue(bool v)
{
    if (v == button()->isChecked())
        return;
    if (v) {
        userClick_ = false; // in case a press never saw its release
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
    auto* g = new ClassicGroupBox(caption, parent);
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
    auto* b = new WrappingPushButton(caption, parent);
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
