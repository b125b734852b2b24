#include "MessageBoxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace {

MessageBoxes* g_installed = nullptr;

QMessageBox* makeBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    auto* box = new QMessageBox(icon, title, text, QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Blocks input to every window of the program, like a system dialog,
    // without a nested event loop: shown, not exec()'d. (open() would turn it
    // into a window-modal sheet.)
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

// An "OK" box: done runs once, when the box has been dismissed.
void openOkBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
               MessageBoxes::Done done)
{
    QMessageBox* box = makeBox(parent, icon, title, text);
    box->setDefaultButton(box->addButton(QMessageBox::Ok));
    QObject::connect(box, &QDialog::finished, box, [done = std::move(done)] {
        if (done)
            done();
    });
    box->show();
}

}  // namespace

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
    const QString path = QCoreApplication::applicationFilePath();
    return ApplicationTitle(path.isEmpty() ? QCoreApplication::applicationName() : path);
}

QString ApplicationTitle(const QString& executable)
{
    QString name = QFileInfo(executable).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (!name.isEmpty())
        name = name.left(1).toUpper() + name.mid(1).toLower();
    return name;
}

void QtMessageBoxes::information(QWidget* parent, const QString& text, Done done)
{
    openOkBox(parent, QMessageBox::NoIcon, ApplicationTitle(), text, std::move(done));
}

void QtMessageBoxes::warning(QWidget* parent, const QString& text, Done done)
{
    openOkBox(parent, QMessageBox::Warning, QStringLiteral("Warning"), text, std::move(done));
}

void QtMessageBoxes::confirmation(QWidget* parent, const QString& text, std::function<void(BoxResult)> done)
{
    QMessageBox* box = makeBox(parent, QMessageBox::Warning, QStringLiteral("Confirm"), text);
    QPushButton* yes = box->addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box->addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    // Escape and the close button must not count as No (Qt would take the
    // only No-role button for them): give them a button of their own that
    // the user never sees.
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    cancel->hide();
    box->setEscapeButton(cancel);
    box->setDefaultButton(yes);
    QObject::connect(box, &QDialog::finished, box, [box, yes, no, done = std::move(done)] {
        const auto* clicked = box->clickedButton();
        const BoxResult result = clicked == yes ? BoxResult::Yes : clicked == no ? BoxResult::No : BoxResult::Cancel;
        if (done)
            done(result);
    });
    box->show();
}

void QtMessageBoxes::standardError(QWidget* parent, const QString& text, Done done)
{
    openOkBox(parent, QMessageBox::Critical, ApplicationTitle(), text, std::move(done));
}

void QtMessageBoxes::startupError(const QString& text)
{
    // No event loop runs yet, so nothing can be held up by this one.
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Application Error"), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtMessageBoxes::printDialog(QWidget* parent, QPrinter& printer, std::function<void(bool)> done)
{
    auto* dialog = new QPrintDialog(&printer, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    QObject::connect(dialog, &QDialog::finished, dialog, [done = std::move(done)](int result) {
        if (done)
            done(result == QDialog::Accepted);
    });
    dialog->show();
}
