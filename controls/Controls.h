// Thin wrappers over Qt widgets with the event semantics the program relies
// on.  Positions and sizes are in twips (15 twips = 1 px at 96 dpi).
//
// - Setting a value or text from code runs the control's Change (or, for check
//   boxes and option buttons, Click) handler at once, nested, and only when
//   the new value differs.  A user's click on an option button is a Click
//   even when it is already selected.
// - A combo-box list choice is a Click, not a text Change; typing is a Change.
// - Scroll bars may have Min > Max, step by SmallChange / LargeChange, fire
//   Change on release of a dragged thumb (no tracking), and fault with
//   OutOfRange when given a value outside their range (the value is not set).
// - Option buttons are grouped by their container.  Disabling a frame
//   disables everything inside it.
// - Every widget's objectName is the control's name.
//
// A wrapper is empty until create() makes its widget as a child of a
// container (a Window or a Frame).
#pragma once
#include <QFont>
#include <QImage>
#include <QObject>
#include <QString>
#include <QWidget>
#include <functional>

#include "controls/Colour.h"

class QLabel;
class QLineEdit;
class QScrollBar;
class QComboBox;
class QCheckBox;
class QRadioButton;
class QGroupBox;
class QPushButton;
class QTimer;

inline constexpr int kTwipsPerPixel = 15;
inline int TwipsToPx(double twips) { return static_cast<int>(twips / kTwipsPerPixel + 0.5); }

using Handler = std::function<void()>;

// Font description in the layout's terms; mapped to installed fonts
// ("MS Sans Serif" -> a sans-serif UI font, "Arial" -> Liberation Sans).
struct FontSpec {
    QString name = "MS Sans Serif";
    double points = 8.25;
    bool bold = false;
};
QFont MapFont(const FontSpec& spec);

enum class Align { Left, Right, Centre };

// Common part: geometry in twips, visibility, enabled state, colours, font,
// tool tip.  Left/Top/Width/Height are relative to the container's client area
// and read back exactly as set.  Visible() is the control's own flag; Enabled()
// is false also while its frame or window is disabled (it takes no input).
class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;
    QWidget* widget() const { return w_; }
    QString Name() const;
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void setLeft(int twips);
    void setTop(int twips);
    void setWidth(int twips);
    void setHeight(int twips);
    void Move(int left, int top, int width, int height);
    bool Visible() const;
    void setVisible(bool v);
    bool Enabled() const;
    void setEnabled(bool e);
    Colour ForeColor() const;
    virtual void setForeColor(Colour c);
    Colour BackColor() const;
    virtual void setBackColor(Colour c);
    void setFont(const FontSpec& f);
    QString ToolTipText() const;
    void setToolTipText(const QString& t);

protected:
    void attach(QWidget* w, QWidget* parent, const QString& name, int left, int top, int width, int height);
    void place();
    QWidget* w_ = nullptr;
    Colour fore_ = 0;
    Colour back_ = 0;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0; // twips, as set
    // Context of the widget's signal connections: they end with the wrapper,
    // even while the widget itself lives on until its window deletes it.
    QObject guard_;
};

class Label : public Control {
public:
    void create(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                int height, Align align = Align::Left);
    QString Caption() const;
    void setCaption(const QString& c);
    QLabel* label() const;
};

class TextBox : public Control {
public:
    Handler onChange;
    void create(QWidget* parent, const QString& name, const QString& text, int left, int top, int width,
                int height, bool border = true, Align align = Align::Left);
    QString Text() const;
    void setText(const QString& t); // runs onChange when the text differs
    QLineEdit* edit() const;
};

class ScrollBar : public Control {
public:
    Handler onChange;
    void create(QWidget* parent, const QString& name, Qt::Orientation o, int left, int top, int width, int height,
                int min, int max, int value, int smallChange = 1, int largeChange = 1);
    int Value() const;
    void setValue(int v); // Fault OutOfRange outside Min..Max; runs onChange when it differs
    int Min() const;
    int Max() const;
    void setMin(int m);
    void setMax(int m);
    int SmallChange() const;
    void setSmallChange(int s);
    int LargeChange() const;
    void setLargeChange(int l);
    QScrollBar* bar() const;
    // User actions, as the mouse would do them (also used by tests).
    void ArrowClick(bool towardsMax);
    void TroughClick(bool towardsMax);
    void DragTo(int v); // thumb dragged then released at v

private:
    int min_ = 0, max_ = 0, value_ = 0, small_ = 1, large_ = 1;
    bool syncing_ = false;
    void syncWidget();
    void userSet(int v);
    void keepValueInRange();
};

// Drop-down combo with an editable text.  Choosing an entry sets the text and
// ListIndex and runs onClick only.  Typing or setText runs onChange and leaves
// ListIndex at -1.  Return in the edit field chooses nothing.  Clear empties
// the list and keeps the text.
class ComboBox : public Control {
public:
    Handler onClick;  // an entry chosen from the list (by the user, or ListIndex set from code)
    Handler onChange; // the edit text changed by typing or by setText
    void create(QWidget* parent, const QString& name, const QString& text, int left, int top, int width,
                int height, const QStringList& items = {});
    QString Text() const;
    void setText(const QString& t);
    int ListIndex() const; // -1 when the text is not a chosen entry
    void setListIndex(int i); // Fault OutOfRange outside -1 .. ListCount-1; runs onClick
    int ListCount() const;
    QString List(int i) const;
    // Inserts at a position; a position beyond the end faults (OutOfRange).
    void AddItem(const QString& item, int index = -1);
    void Clear();
    QComboBox* combo() const;
    // User actions (also used by tests).  UserType replaces the whole text in
    // one edit, as pasting over a selection would.
    void UserChoose(int index);
    void UserType(const QString& text);

private:
    int listIndex_ = -1;
    int quiet_ = 0; // > 0 while the wrapper itself changes the widget
    void chosen(int index);
};

class CheckBox : public Control {
public:
    Handler onClick; // runs when Value changes, by the user or from code
    void create(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                int height);
    int Value() const; // 0 or 1
    void setValue(int v); // Fault OutOfRange for anything but 0 and 1
    QString Caption() const;
    void setCaption(const QString& c);
    QCheckBox* box() const;
};

// Grouped with the other option buttons of the same container (one exclusive
// QButtonGroup per container widget).  None is selected at creation.
class OptionButton : public Control {
public:
    Handler onClick; // runs on every click by the user, and when code selects it
    void create(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                int height);
    bool Value() const;
    void setValue(bool v); // true clears the other buttons of the same container; false unselects
    QString Caption() const;
    QRadioButton* button() const;

private:
    bool userClick_ = false; // between the mouse press and release
};

// A captioned group.  Its client area is the whole frame: children's
// positions are measured from the frame's outer top-left corner, so the
// caption line lies inside the top of that area (a child at top 240 twips
// sits 16 px below the frame's top edge), as in the layout tables.
class Frame : public Control {
public:
    void create(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                int height);
    QString Caption() const;
    void setCaption(const QString& c);
    // The container widget to create the frame's children in.
    QWidget* client() const;
    QGroupBox* group() const;

private:
    QWidget* client_ = nullptr;
};

class CommandButton : public Control {
public:
    Handler onClick;
    void create(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                int height);
    QString Caption() const;
    void setCaption(const QString& c);
    void Click(); // as the user would
    QPushButton* button() const;
};

// Holds one picture; never shown.
class ImageBox : public Control {
public:
    void create(QWidget* parent, const QString& name, int left, int top, int width, int height);
    QImage Picture;
};

class Timer {
public:
    Handler onTimer;
    void create(QObject* parent, const QString& name);
    int Interval() const;
    void setInterval(int ms);
    bool Enabled() const;
    void setEnabled(bool e);
    QTimer* timer() const { return t_; }

private:
    QTimer* t_ = nullptr;
    bool enabled_ = false;
    int interval_ = 0;
    QObject guard_; // ends the timeout connection with the wrapper
    void apply();   // runs only while enabled with a non-zero interval
};

// A top-level window placed and sized in twips; the client area is the
// container for its controls.  Left/Top/Width/Height are the outer frame
// (title bar and borders included, as far as the platform reports them once
// the window is shown; before that outer and client size agree).  Its font is
// the layout's default
// ("MS Sans Serif" 8.25 pt, mapped).
class Window : public QWidget {
public:
    explicit Window(const QString& name, QWidget* parent = nullptr);
    QString Caption() const;
    void setCaption(const QString& c);
    int Left() const;
    int Top() const;
    int Width() const;  // outer width, twips
    int Height() const; // outer height, twips
    void setLeft(int twips);
    void setTop(int twips);
    void setWidth(int twips);
    void setHeight(int twips);
    void setClientSize(int widthTwips, int heightTwips);
    void setBackColor(Colour c);
};

// The one modal message box: OK button, the application's title.  Tests
// install an answerer that sees the text instead of a box being shown.
enum class MsgIcon { None, Exclamation };
void MsgBox(QWidget* parent, const QString& text, MsgIcon icon = MsgIcon::None);
using MsgBoxHook = std::function<void(const QString& text)>;
void SetMsgBoxHook(MsgBoxHook hook); // empty hook = real boxes
