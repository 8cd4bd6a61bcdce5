#include "host/maker/maker_routines.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <algorithm>

namespace host {

namespace {

QString Translated(const char* context, const QString& text)
{
    if (text.isEmpty()) {
        return text;
    }
    const QByteArray source = text.toUtf8();
    return QCoreApplication::translate(context, source.constData());
}

} // namespace

void Trad(QWidget* form)
{
    if (form == nullptr) {
        return;
    }
    const QByteArray context = form->metaObject()->className();
    const char* ctx = context.constData();
    form->setWindowTitle(Translated(ctx, form->windowTitle()));
    const auto children = form->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            button->setText(Translated(ctx, button->text()));
        } else if (auto* label = qobject_cast<QLabel*>(child)) {
            label->setText(Translated(ctx, label->text()));
        } else if (auto* edit = qobject_cast<QLineEdit*>(child)) {
            edit->setPlaceholderText(Translated(ctx, edit->placeholderText()));
        } else if (auto* group = qobject_cast<QGroupBox*>(child)) {
            group->setTitle(Translated(ctx, group->title()));
        }
        if (!child->toolTip().isEmpty()) {
            child->setToolTip(Translated(ctx, child->toolTip()));
        }
    }
}

QString MontaRodapeGeral(bool fiscalMenu, const QString& code, const QString& option)
{
    Q_UNUSED(option);
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty()) {
        version = QStringLiteral(MAKER_VERSION);
    }
    QString footer = QStringLiteral("%1 - v%2").arg(code.trimmed(), version);
    if (fiscalMenu) {
        footer.prepend(QStringLiteral("F1 - Menu Fiscal - "));
    }
    return footer;
}

bool EmptyString(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0x20; });
}

} // namespace host
