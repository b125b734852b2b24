#include "ProgramWiring.h"

#include "K4Status_U.h"
#include "KeepAwake.h"
#include "SessionEndWatcher.h"

#include <QApplication>
#include <QSessionManager>

namespace {

class QtSessionCommit : public SessionCommit {
public:
    explicit QtSessionCommit(QSessionManager& manager) : m_manager(manager) {}
    bool allowsInteraction() override { return m_manager.allowsInteraction(); }
    void release() override { m_manager.release(); }
    void cancel() override { m_manager.cancel(); }

private:
    QSessionManager& m_manager;
};

}  // namespace

void CommitSessionData(Tfrm_framework& window, SessionCommit& commit)
{
    if (!commit.allowsInteraction())
        return;
    const bool canClose = window.FormCloseQuery();
    commit.release();
    if (!canClose)
        commit.cancel();
}

void ConnectProgramEnd(QApplication& app, Tfrm_framework& window, SessionEndWatcher& sessionEnd)
{
    Tfrm_framework* w = &window;
    QObject::connect(w, &Tfrm_framework::terminateRequested, &app, [] { QCoreApplication::exit(0); });

    QObject::connect(&app, &QGuiApplication::commitDataRequest, w, [w](QSessionManager& manager) {
        QtSessionCommit commit(manager);
        CommitSessionData(*w, commit);
    });
    // A log-off or shutdown that goes ahead ends the event loop without the
    // shutdown sequence; so does any other way out of it. Records are written
    // whole, so closing the file (after the records still waiting for the
    // disk, for a few seconds at most) is all that is left to do.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, w, [w] { w->EndSessionAbruptly(); });
    QObject::connect(&sessionEnd, &SessionEndWatcher::sessionEnding, w, [w] {
        w->EndSessionAbruptly();
        QCoreApplication::exit(0);
    });
}

void ConnectKeepAwake(Tfrm_framework& window, KeepAwake& keepAwake)
{
    QObject::connect(&window, &Tfrm_framework::pollingChanged, &keepAwake, &KeepAwake::setHeld);
}
