#pragma once

#include "BoxQueue.h"
#include "DigitFilter.h"
#include "TelnetClient.h"
#include "ReconnectScheduler.h"
#include "ReplyFramer.h"
#include "SharedState.h"

#include <QString>
#include <QWidget>

#include <atomic>
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
    TelnetClient& link() { return *K4Telnet; }
    ReconnectScheduler& reconnect() { return *m_reconnect; }
    QTimer* Poller = nullptr;
    QTimer* UserTimer = nullptr;
    Ui::Tfrm_framework& form() { return *ui; }
    LevelChart* chart() const;
    bool activated() const { return m_activated; }

    // Handlers
    void FormActivate();
    // Asks for confirmation; decided(CanClose) runs once the box is answered.
    void FormCloseQuery(std::function<void(bool)> decided);
    // For the session manager, which needs the answer before it returns:
    // waits for the box in a local event loop.
    bool FormCloseQuery();
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
    // shutdown sequence (log-off, system shutdown, SIGTERM/SIGINT/SIGHUP).
    void EndSessionAbruptly();

    // The eight-line text of the connect failure box.
    static QString ConnectFailureText();

    // Runs a handler and reports whatever escapes it in the standard error box.
    void guarded(const std::function<void()>& handler);
    // The standard error box, one at a time; the same text is not queued twice.
    void showStandardError(const QString& text);

signals:
    // The shutdown sequence asks the application to end (the program entry
    // ends the event loop on it once the current event has been handled).
    void terminateRequested();
    // Polling is wanted (Start Poller) or no longer (Stop Poller, the close),
    // retries included: while it is, the computer should stay awake.
    void pollingChanged(bool polling);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void setCaption(class QLabel* label, const QString& text);
    void showInformation(const QString& text, std::function<void()> after = {});
    void closeCaptureFile();
    void connectCaptureFile();
    void setCommandedStatus(bool commanded);
    void endStep();
    void setIntervalOf(QTimer* timer, int milliseconds);

    std::unique_ptr<Ui::Tfrm_framework> ui;
    std::unique_ptr<TelnetClient> K4Telnet;
    std::unique_ptr<ReconnectScheduler> m_reconnect;  // uses K4Telnet; goes before it
    DigitFilter m_digitFilter;
    ReplyFramer m_framer;
    bool m_activated = false;
    BoxQueue m_boxes;
    QStringList m_errorTexts;  // error boxes open or waiting, at most kMaxErrorTexts
    static constexpr qsizetype kMaxErrorTexts = 16;
    bool m_confirmOpen = false;
    bool m_closeConfirmed = false;
    bool m_stopPending = false;     // a disconnect waits for the running step to end
    bool m_startAfterStop = false;  // a Start to another host waits for that disconnect
    int m_receiveDepth = 0;         // receive steps running (nested inside the outer one's flash)
    bool m_flashing = false;        // a receive step's data flash runs
    // Counts the connections this window closed; a chunk read before the
    // close is dropped rather than flash the data LED on a closed link.
    std::atomic<quint64> m_linkGeneration{0};
    QList<std::function<void()>> m_deferredStatus;
};
