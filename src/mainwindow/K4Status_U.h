#pragma once

#include "DigitFilter.h"
#include "K4Telnet.h"
#include "ReconnectScheduler.h"
#include "ReplyFramer.h"
#include "SharedState.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QTimer;
class QSessionManager;
class Led;
class LevelChart;

namespace Ui {
class Tfrm_framework;
}

// The main window: its handlers carry the program's behaviour and share the
// state in S. Handlers keep the names of the controls and events they serve.
class Tfrm_framework : public QWidget {
    Q_OBJECT
public:
    explicit Tfrm_framework(QWidget* parent = nullptr);
    ~Tfrm_framework() override;

    // Components, reachable for tests and the program entry.
    SharedState S;
    ::K4Telnet& link() { return *K4Telnet; }
    ReconnectScheduler& reconnect() { return *m_reconnect; }
    QTimer* Poller = nullptr;
    QTimer* UserTimer = nullptr;
    Ui::Tfrm_framework& form() { return *ui; }
    LevelChart* chart() const;
    bool activated() const { return m_activated; }

    // Handlers
    void FormActivate();
    bool FormCloseQuery();  // returns CanClose
    void FormClose();
    void bStartPollerClick();
    void bStopPollerClick();
    void ComsClose();
    void PollerTimer();
    void bBeginCaptureClick();
    void bEndCaptureClick();
    void UserTimerTimer();
    void Button1Click();

    // Radio link control
    static bool IPTest(const QString& S);
    void ConnectToRadio();
    void DisconnectFromRadio();
    void SendToRadio(const QString& sCommand);
    void K4TelnetConnected();
    void K4TelnetDisconnected();
    void K4TelnetStatus(void* ASender, TIdStatus AStatus, const QString& AStatusText);
    void K4TelnetDataAvailable(const TIdBytes& Buffer);

    // LED flashes: blue, 25 ms, lime, 25 ms.
    void FlashDataLED();
    void FlashPollerLED();

    // Closes an open capture file, complete, when the session ends without the
    // shutdown sequence (log-off, system shutdown, SIGTERM/SIGINT).
    void EndSessionAbruptly();

    // The eight-line text of the connect failure box.
    static QString ConnectFailureText();

    // Runs a handler and reports whatever escapes it in the standard error box.
    void guarded(const std::function<void()>& handler);

signals:
    // The shutdown sequence asks the application to end (the program entry
    // ends the event loop on it once the current event has been handled).
    void terminateRequested();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void setCaption(class QLabel* label, const QString& text);
    void showStandardError(const QString& text);
    void closeCaptureFile();
    void setIntervalOf(QTimer* timer, int milliseconds);

    std::unique_ptr<Ui::Tfrm_framework> ui;
    std::unique_ptr<::K4Telnet> K4Telnet;
    std::unique_ptr<ReconnectScheduler> m_reconnect;  // uses K4Telnet; goes before it
    DigitFilter m_digitFilter;
    ReplyFramer m_framer;
    bool m_activated = false;
    bool m_errorBoxOpen = false;
    QStringList m_pendingErrors;
    QString m_shownError;
    int m_receiveDepth = 0;  // 1 while a receive step's data flash runs
    QList<std::function<void()>> m_deferredStatus;
};
