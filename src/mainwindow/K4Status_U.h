#pragma once

#include "BoxQueue.h"
#include "DigitFilter.h"
#include "RadioLink.h"
#include "ReconnectScheduler.h"
#include "SharedState.h"
#include "StepGate.h"

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
    RadioLink& link() { return *K4Telnet; }
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
    // Buffer as it arrived, with the complete replies the link framed from it.
    void K4TelnetDataAvailable(const TIdBytes& Buffer, const QStringList& Replies);

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
    // A Stop asked for during a step is carried out now that none runs.
    void stopWhenStepsEnded();
    void connectCaptureFile();
    void setCommandedStatus(bool commanded);
    void setIntervalOf(QTimer* timer, int milliseconds);
    void wireLink();
    void wireTimersAndButtons();

    std::unique_ptr<Ui::Tfrm_framework> ui;
    std::unique_ptr<RadioLink> K4Telnet;
    std::unique_ptr<ReconnectScheduler> m_reconnect;  // uses K4Telnet; goes before it
    DigitFilter m_digitFilter;
    bool m_activated = false;
    BoxQueue m_boxes;
    QStringList m_errorTexts;  // error boxes open or waiting, at most kMaxErrorTexts
    static constexpr qsizetype kMaxErrorTexts = 16;
    bool m_confirmOpen = false;
    bool m_closeConfirmed = false;
    bool m_startAfterStop = false;  // a Start to another host waits for a Stop still due
};
