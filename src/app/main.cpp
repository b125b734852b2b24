#include "K4Status_U.h"
#include "KeepAwake.h"

#include "ErrorText.h"
#include "MessageBoxes.h"
#include "ProgramIcon.h"
#include "ProgramWiring.h"
#include "SessionEndWatcher.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>

#include <exception>

namespace {

// Reports an error that escapes any event handler in the standard error box
// and goes on with the next event, as every handler of the window does.
class QuorvelApplication : public QApplication {
public:
    using QApplication::QApplication;

    // Errors go to the window's own error boxes (one at a time, none held
    // up by a timer) once it exists.
    QPointer<Tfrm_framework> window;

    bool notify(QObject* receiver, QEvent* e) override
    {
        try {
            return QApplication::notify(receiver, e);
        } catch (const std::exception& error) {
            showError(StandardErrorText(error));
        } catch (...) {
            showError(QStringLiteral("Unknown error."));
        }
        return false;
    }

private:
    void showError(const QString& text)
    {
        if (window)
            window->showStandardError(text);
        else
            MessageBoxes::instance().standardError(activeWindow(), text);
    }
};

}  // namespace

int main(int argc, char* argv[])
{
    QuorvelApplication app(argc, argv);
    // The shutdown sequence ends the program, not the closing of its window.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));

    std::unique_ptr<Tfrm_framework> frm_framework;
    try {
        frm_framework = std::make_unique<Tfrm_framework>();
    } catch (const std::exception& error) {
        MessageBoxes::instance().startupError(
            StartupErrorText(error, QFileInfo(QCoreApplication::applicationFilePath()).fileName(), 0));
        return 1;
    }

    Tfrm_framework* window = frm_framework.get();
    app.window = window;
    SessionEndWatcher sessionEnd;
    ConnectProgramEnd(app, *window, sessionEnd);
    KeepAwake keepAwake;
    ConnectKeepAwake(*window, keepAwake);

    window->show();
    const int code = QApplication::exec();
    frm_framework.reset();
    return code;
}
