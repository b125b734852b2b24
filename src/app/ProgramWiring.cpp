#include "ProgramWiring.h"

#include "K4Status_U.h"
#include "SessionEndWatcher.h"

#include <QApplication>
#include <QSessionManager>

void ConnectProgramEnd(QApplication& app, Tfrm_framework& window, SessionEndWatcher& sessionEnd)
{
    Tfrm_framework* w = &window;
    QObject::connect(w, &Tfrm_framework::terminateRequested, &app, [] { QCoreApplication::exit(0); });

    // Log-off and system shutdown ask first; when they go ahead the program
    // ends without its shutdown sequence, so the capture file is closed here.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, w, [w](QSessionManager& manager) {
        if (manager.allowsInteraction()) {
            const bool canClose = w->FormCloseQuery();
            manager.release();
            if (!canClose) {
                manager.cancel();
                return;
            }
        }
        w->EndSessionAbruptly();
    });
    QObject::connect(&sessionEnd, &SessionEndWatcher::sessionEnding, w, [w] {
        w->EndSessionAbruptly();
        QCoreApplication::exit(0);
    });
}
