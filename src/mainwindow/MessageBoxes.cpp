#include "MessageBoxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace {

MessageBoxes* g_installed = nullptr;

// Escape and the title-bar close button both dismiss with Cancel; Qt maps them
// to the escape button, which must therefore be an extra hidden Cancel button
// when the visible buttons are only Yes and No.
int runBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton def)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(def);
    return box.exec();
}

} // namespace

MessageBoxes& MessageBoxes::instance()
{
    static QtMessageBoxes real;
    return g_installed ? *g_installed : real;
}

void MessageBoxes::install(MessageBoxes* boxes)
{
    g_installed = boxes;
}

QString ApplicationTitle()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.isEmpty())
        name = QCoreApplication::applicationName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

void QtMessageBoxes::information(QWidget* parent, const QString& text)
{
    runBox(parent, QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtMessageBoxes::warning(QWidget* parent, const QString& text)
{
    runBox(parent, QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, QMessageBox::Ok);
}

BoxResult QtMessageBoxes::confirmation(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Confirm"), text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    // Escape and the close button must not count as No: give them a button
    // of their own that the user never sees.
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    cancel->hide();
    box.setEscapeButton(cancel);
    box.setDefaultButton(yes);
    box.exec();
    const auto* clicked = box.clickedButton();
    if (clicked == yes)
        return BoxResult::Yes;
    if (clicked == no)
        return BoxResult::No;
    return BoxResult::Cancel;
}

void QtMessageBoxes::standardError(QWidget* parent, const QString& text)
{
    runBox(parent, QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtMessageBoxes::startupError(const QString& text)
{
    runBox(nullptr, QMessageBox::Critical, QStringLiteral("Application Error"), text, QMessageBox::Ok,
           QMessageBox::Ok);
}

bool QtMessageBoxes::printDialog(QWidget* parent, QPrinter& printer)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}
