#include <QMessageBox>

#include "controls/Controls.h"

namespace {
MsgBoxHook& hook()
{
    static MsgBoxHook h;
    return h;
}
} // namespace

void SetMsgBoxHook(MsgBoxHook h)
{
    hook() = std::move(h);
}

void MsgBox(QWidget* parent, const QString& text, MsgIcon icon)
{
    if (hook()) {
        hook()(text);
        return;
    }
    QMessageBox box(icon == MsgIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, "Parlune", text,
                    QMessageBox::Ok, parent);
    box.exec();
}
