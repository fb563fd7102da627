// Drop-down combo boxes: an editable QComboBox whose list choices are Clicks
// and whose typed texts are Changes.  The wrapper keeps ListIndex itself,
// because QComboBox keeps a current index while the user types over it.
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include "engine/Fault.h"
#include "controls/Controls.h"

namespace {
// Return in the edit field would make QComboBox choose the matching entry;
// the program's combos choose only from the list.
class ReturnEater : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                return true;
        }
        return QObject::eventFilter(watched, e);
    }
};
} // namespace

void ComboBox::create(QWidget* parent, const QString& name, const QString& text, int left, int top, int width,
                      int height, const QStringList& items)
{
    auto* c = new QComboBox(parent);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setCompleter(nullptr); // no inline completion: typed text stays as typed
    c->lineEdit()->installEventFilter(new ReturnEater(c));
    attach(c, parent, name, left, top, width, height);
    ++quiet_;
    c->addItems(items);
    c->setEditText(text);
    --quiet_;
    listIndex_ = -1;

    // textEdited comes only from typing; a list choice (which sets the text
    // and makes QComboBox emit editTextChanged) is seen through activated.
    QObject::connect(c->lineEdit(), &QLineEdit::textEdited, &guard_, [this] {
        if (quiet_)
            return;
        listIndex_ = -1;
        if (onChange)
            onChange();
    });
    QObject::connect(c, &QComboBox::activated, &guard_, [this](int i) {
        if (!quiet_)
            chosen(i);
    });
}

QString ComboBox::Text() const { return combo()->currentText(); }

void ComboBox::setText(const QString& t)
{
    if (t == Text())
        return;
    ++quiet_;
    combo()->setEditText(t);
    --quiet_;
    listIndex_ = -1;
    if (onChange)
        onChange();
}

int ComboBox::ListIndex() const { return listIndex_; }

void ComboBox::setListIndex(int i)
{
    if (i < -1 || i >= ListCount())
        throw Fault(Fault::Kind::OutOfRange, "ListIndex outside the list");
    if (i == listIndex_)
        return;
    listIndex_ = i;
    ++quiet_;
    if (i >= 0) {
        combo()->setCurrentIndex(i);
        combo()->setEditText(combo()->itemText(i));
    } else {
        combo()->setEditText(QString()); // no entry chosen: the edit field empties
    }
    --quiet_;
    if (onClick)
        onClick();
}

int ComboBox::ListCount() const { return combo()->count(); }

QString ComboBox::List(int i) const
{
    if (i < 0 || i >= ListCount())
        throw Fault(Fault::Kind::OutOfRange, "list position outside the list");
    return combo()->itemText(i);
}

void ComboBox::AddItem(const QString& item, int index)
{
    const int count = ListCount();
    if (index == -1)
        index = count;
    if (index < 0 || index > count)
        throw Fault(Fault::Kind::OutOfRange, "AddItem position beyond the end of the list");
    const QString text = Text();
    ++quiet_;
    combo()->insertItem(index, item);
    // QComboBox makes the first entry of an empty list current and shows it.
    if (Text() != text)
        combo()->setEditText(text);
    --quiet_;
    if (listIndex_ >= index)
        ++listIndex_;
}

void ComboBox::Clear()
{
    const QString text = Text();
    ++quiet_;
    combo()->clear();
    combo()->setEditText(text);
    --quiet_;
    listIndex_ = -1;
}

QComboBox* ComboBox::combo() const { return static_cast<QComboBox*>(w_); }

void ComboBox::UserChoose(int index)
{
    if (!combo()->isEnabled())
        return;
    if (index < 0 || index >= ListCount())
        throw Fault(Fault::Kind::OutOfRange, "no such entry in the list");
    ++quiet_;
    combo()->setCurrentIndex(index);
    --quiet_;
    chosen(index);
}

void ComboBox::UserType(const QString& text)
{
    if (!combo()->isEnabled() || text == Text())
        return;
    QLineEdit* e = combo()->lineEdit();
    e->selectAll();
    e->insert(text); // an edit, so textEdited follows
}

void ComboBox::chosen(int index)
{
    ++quiet_;
    if (combo()->lineEdit()->text() != combo()->itemText(index))
        combo()->setEditText(combo()->itemText(index));
    --quiet_;
    listIndex_ = index;
    if (onClick)
        onClick();
}
