#include "K4Status_U.h"

#include "ui_K4Status_U.h"

#include "AppVersion.h"
#include "CaptureName.h"
#include "CaptureRecord.h"
#include "DateTimeText.h"
#include "Delay.h"
#include "ErrorText.h"
#include "FormatSettings.h"
#include "LevelChart.h"
#include "LocalClock.h"
#include "MessageBoxes.h"
#include "NumberText.h"
#include "ProgramErrors.h"
#include "WindowAccessibility.h"

#include <QCloseEvent>
#include <algorithm>
#include <memory>
#include <optional>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QPrinter>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>

namespace {

const QColor kPointRed(255, 0, 0);

// The design's font is Tahoma. Linux desktops rarely have it, but Wine's
// metric-compatible Tahoma is often installed outside fontconfig's folders;
// without either, fontconfig picks its usual fallback.
void addTahomaIfAvailable()
{
    static const bool once = [] {
        if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
            return true;
        // Only the regular face: fontconfig passes over Wine's bold face for
        // bold requests, while Qt emboldens the regular one well.
        const QString regular = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
        if (QFile::exists(regular))
            QFontDatabase::addApplicationFont(regular);
        return true;
    }();
    Q_UNUSED(once);
}

}  // namespace

Tfrm_framework::Tfrm_framework(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Tfrm_framework>()), K4Telnet(std::make_unique<RadioLink>())
{
    addTahomaIfAvailable();
    ui->setupUi(this);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    setFont(tahoma);
    for (QLabel* bold : {ui->Label1, ui->Label14, ui->Label21}) {
        QFont f = tahoma;
        f.setBold(true);
        bold->setFont(f);
    }
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(1013, 485);
    if (const QScreen* screen = QWidget::screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    // Labels that size themselves to their text.
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->property("autoSize").toBool())
            label->adjustSize();
    }
    SetUpAccessibility(*ui);

    wireLink();
    wireTimersAndButtons();
    ui->bStartPoller->setFocus();
}

Tfrm_framework::~Tfrm_framework()
{
    // The retries go first, then the link, whose threads must have ended
    // before the window they report to goes away.
    m_reconnect.reset();
    K4Telnet.reset();
}

void Tfrm_framework::wireLink()
{
    // Every signal of the link arrives on this thread. Those of a connect or
    // disconnect made here come inside that call, so their errors reach its
    // caller; the others are queued events and report their own errors.
    connect(K4Telnet.get(), &RadioLink::status, this,
            [this](TIdStatus status, const QString& text) { K4TelnetStatus(K4Telnet.get(), status, text); });
    connect(K4Telnet.get(), &RadioLink::connected, this, &Tfrm_framework::K4TelnetConnected);
    connect(K4Telnet.get(), &RadioLink::disconnected, this, &Tfrm_framework::K4TelnetDisconnected);
    connect(K4Telnet.get(), &RadioLink::statusFromRadio, this, [this](TIdStatus status, const QString& text) {
        // The radio's close follows the chunks before it: if one of them is
        // still flashing, its end would paint over the red.
        S.Steps.afterReceives([this, status, text] { guarded([&] { K4TelnetStatus(K4Telnet.get(), status, text); }); });
    });
    connect(K4Telnet.get(), &RadioLink::dataAvailable, this,
            [this](const TIdBytes& buffer, const QStringList& replies) {
                guarded([&] { K4TelnetDataAvailable(buffer, replies); });
            });
    connect(&S.Steps, &StepGate::stopDue, this, [this] { guarded([this] { stopWhenStepsEnded(); }); });

    // A link lost while polling is wanted comes back by itself; a retry that
    // connects carries on as Start Poller would.
    m_reconnect = std::make_unique<ReconnectScheduler>(*K4Telnet);
    connect(m_reconnect.get(), &ReconnectScheduler::reconnected, this,
            [this] { guarded([this] { SendToRadio(QStringLiteral("K41;")); }); });
}

void Tfrm_framework::wireTimersAndButtons()
{
    // A coarse timer may drift by up to 5 % of its interval: minutes over a long period.
    Poller = new QTimer(this);
    Poller->setObjectName(QStringLiteral("Poller"));
    Poller->setTimerType(Qt::PreciseTimer);
    Poller->setInterval(1000);
    UserTimer = new QTimer(this);
    UserTimer->setObjectName(QStringLiteral("UserTimer"));
    UserTimer->setTimerType(Qt::PreciseTimer);
    UserTimer->setInterval(1000);
    connect(Poller, &QTimer::timeout, this, [this] { guarded([this] { PollerTimer(); }); });
    connect(UserTimer, &QTimer::timeout, this, [this] { guarded([this] { UserTimerTimer(); }); });
    UserTimer->start();
    connectCaptureFile();

    connect(ui->bStartPoller, &QPushButton::clicked, this, [this] { guarded([this] { bStartPollerClick(); }); });
    connect(ui->bStopPoller, &QPushButton::clicked, this, [this] { guarded([this] { bStopPollerClick(); }); });
    connect(ui->bBeginCapture, &QPushButton::clicked, this, [this] { guarded([this] { bBeginCaptureClick(); }); });
    connect(ui->bEndCapture, &QPushButton::clicked, this, [this] { guarded([this] { bEndCaptureClick(); }); });
    connect(ui->Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
}

LevelChart* Tfrm_framework::chart() const
{
    return ui->chtFastLine1;
}

void Tfrm_framework::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        showStandardError(StandardErrorText(error));
    } catch (...) {
        showStandardError(QStringLiteral("Unknown error."));
    }
}

void Tfrm_framework::showStandardError(const QString& text)
{
    // Timers keep ticking behind an open box: a fault that repeats every second
    // must not stack a new box each time. The same text is dropped while it is
    // on screen or waiting; other texts wait their turn, as many as the user
    // can read through: a radio that sends ever new bad replies must not
    // grow the queue without end.
    if (m_errorTexts.contains(text) || m_errorTexts.size() >= kMaxErrorTexts)
        return;
    m_errorTexts.append(text);
    m_boxes.post([this, text](std::function<void()> answered) {
        MessageBoxes::instance().standardError(this, text, [this, text, answered] {
            m_errorTexts.removeOne(text);
            answered();
        });
    });
}

void Tfrm_framework::showInformation(const QString& text, std::function<void()> after)
{
    m_boxes.post([this, text, after](std::function<void()> answered) {
        MessageBoxes::instance().information(this, text, [after, answered] {
            answered();
            if (after)
                after();
        });
    });
}

void Tfrm_framework::setCaption(QLabel* label, const QString& text)
{
    label->setText(text);
    if (label->property("autoSize").toBool())
        label->adjustSize();
}

bool Tfrm_framework::event(QEvent* e)
{
    // Qt reports every re-activation; the starting state is set only once.
    if (e->type() == QEvent::WindowActivate && !m_activated) {
        m_activated = true;
        guarded([this] { FormActivate(); });
    }
    return QWidget::event(e);
}

void Tfrm_framework::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LocaleChange)
        FormatSettings::reloadFromSystem();
    QWidget::changeEvent(e);
}

void Tfrm_framework::closeEvent(QCloseEvent* e)
{
    // The confirmation box runs no event loop of its own: the request is
    // refused for now and, once the box allows the close, made again. An
    // answer that comes at once decides this very request.
    if (!m_closeConfirmed) {
        e->ignore();
        if (m_confirmOpen)
            return;  // the box is already asking
        struct Asking {
            bool inEvent = true;
            bool answered = false;
            bool canClose = true;
        };
        auto asking = std::make_shared<Asking>();
        m_confirmOpen = true;
        try {
            FormCloseQuery([this, asking](bool canClose) {
                m_confirmOpen = false;
                asking->answered = true;
                asking->canClose = canClose;
                if (!asking->inEvent && canClose) {
                    m_closeConfirmed = true;
                    close();
                }
            });
        } catch (...) {
            // A box that cannot be shown counts as permission.
            m_confirmOpen = false;
            asking->answered = true;
            asking->canClose = true;
        }
        asking->inEvent = false;
        if (!asking->answered || !asking->canClose)
            return;
    }
    m_closeConfirmed = false;
    try {
        FormClose();
    } catch (const std::exception& error) {
        showStandardError(StandardErrorText(error));
        e->ignore();
        return;
    }
    e->accept();
}

// ---------------------------------------------------------------------------
// Activation and close

void Tfrm_framework::FormActivate()
{
    ui->bBeginCapture->setEnabled(false);
    ui->bEndCapture->setEnabled(false);
    setWindowTitle(QStringLiteral("Quorvel, version ") + FileVersion() + QStringLiteral(", by Orvane"));
    S.FileWrite = false;
    S.bCloseRequest = false;
    K4Telnet->Disconnect();
    K4Telnet->setConnectTimeout(2000);
    ui->OnLineLED->setColour(Led::LedColour::Red);
    ui->DataLED->setColour(Led::LedColour::Red);
    ui->PollerLED->setColour(Led::LedColour::Red);
    S.bConnectionStatus = false;
    for (QLabel* label : {ui->lAverage, ui->lFileName, ui->lWrittenData, ui->lRunningAverage, ui->lAverageCount,
                          ui->lAccumulatorTotal, ui->lNextReset})
        setCaption(label, QString());
    ui->HostAddress->setFocus();
    chart()->ConfigureAtActivation();
}

void Tfrm_framework::FormCloseQuery(std::function<void(bool)> decided)
{
    m_boxes.post([this, decided](std::function<void()> answered) {
        MessageBoxes::instance().confirmation(this, QStringLiteral("Are you sure you want to exit?"),
                                              [decided, answered](BoxResult result) {
                                                  answered();
                                                  decided(result != BoxResult::No);
                                              });
    });
}

bool Tfrm_framework::FormCloseQuery()
{
    auto canClose = std::make_shared<std::optional<bool>>();
    QEventLoop loop;
    FormCloseQuery([canClose, &loop](bool decided) {
        *canClose = decided;
        loop.quit();
    });
    if (!canClose->has_value())
        loop.exec();
    return canClose->value_or(true);
}

void Tfrm_framework::FormClose()
{
    ComsClose();
}

void Tfrm_framework::EndSessionAbruptly()
{
    if (S.FileWrite) {
        S.FileWrite = false;
        try {
            // Writes the waiting records first, for a few seconds at most.
            S.txt.Close();
        } catch (const std::exception&) {
            // Every record that reached the file is whole; nothing more to do.
        }
    }
}

// ---------------------------------------------------------------------------
// Poller control and shutdown

void Tfrm_framework::closeCaptureFile()
{
    S.FileWrite = false;
    S.txt.Close();
}

void Tfrm_framework::connectCaptureFile()
{
    // The capture's writer thread reports here: "Written data" shows the last
    // record on the disk, and a failure is shown once per text until the disk
    // takes records again.
    connect(&S.txt, &CaptureRecorder::recordWritten, this,
            [this](const QString& line) { setCaption(ui->lWrittenData, line); });
    connect(&S.txt, &CaptureRecorder::writeFailed, this, &Tfrm_framework::showStandardError);
}

void Tfrm_framework::setCommandedStatus(bool commanded)
{
    // While polling is on, a link that has gone silent counts as lost.
    K4Telnet->watchSilence(commanded);
    if (S.bCommandedStatus == commanded)
        return;
    S.bCommandedStatus = commanded;
    emit pollingChanged(commanded);
}

void Tfrm_framework::bStartPollerClick()
{
    ui->bBeginCapture->setEnabled(true);
    // Recording stops here; the open file is closed like End Capture does,
    // so it is complete and the next capture starts a new one.
    if (S.FileWrite)
        closeCaptureFile();
    if (IPTest(ui->HostAddress->text())) {
        setCommandedStatus(true);
        m_reconnect->cancel();  // the user's own connect replaces any retry
        if (S.Steps.stopPending() && S.bConnectionStatus
            && (ui->HostAddress->text() != S.sHost || ui->PortAddress->text() != S.sPort)) {
            // A Stop is still waiting for the running step to end and the user
            // has aimed at another radio: the old link goes down first, and
            // this Start connects to the new one as soon as it has.
            m_startAfterStop = true;
            return;
        }
        // A Stop still waiting for a step to end is overtaken by this Start.
        S.Steps.cancelStop();
        // Polling is on from here, whatever the connect and the first
        // command meet: the poll timer runs until Stop Poller.
        const auto startPolls = qScopeGuard([this] {
            if (!Poller->isActive())  // an enabled timer keeps its period
                Poller->start();
        });
        ConnectToRadio();
        SendToRadio(QStringLiteral("K41;"));
    } else {
        showInformation(QStringLiteral("You must enter a valid IP address in the host window."),
                        [this] { ui->HostAddress->setFocus(); });
    }
}

void Tfrm_framework::bStopPollerClick()
{
    ui->bBeginCapture->setEnabled(false);
    ui->bEndCapture->setEnabled(false);
    Poller->stop();
    ui->PollerLED->setColour(Led::LedColour::Red);
    ui->DataLED->setColour(Led::LedColour::Red);
    setCommandedStatus(false);
    m_startAfterStop = false;
    m_reconnect->cancel();
    if (S.bConnectionStatus) {
        if (S.FileWrite)
            closeCaptureFile();
        DisconnectFromRadio();
    } else if (!S.bCloseRequest) {
        showInformation(QStringLiteral("You are already disconnected"));
    }
}

void Tfrm_framework::ComsClose()
{
    S.bCloseRequest = true;
    Poller->stop();
    // The programmatic click runs the whole Stop Poller handler; called
    // directly so that its errors interrupt the close.
    bStopPollerClick();
    DisconnectFromRadio();
    ui->OnLineLED->setColour(Led::LedColour::Red);
    ui->DataLED->setColour(Led::LedColour::Blue);
    if (S.FileWrite)
        closeCaptureFile();
    emit terminateRequested();
}

// ---------------------------------------------------------------------------
// Poll cycle

void Tfrm_framework::PollerTimer()
{
    // A tick ended by an error is no longer half-way either: left running, it
    // would keep a Stop from ever disconnecting while the fault repeats.
    StepGate::Token tick = S.Steps.begin(StepGate::Step::PollTick);
    S.sDTG = FormatDateTime(QStringLiteral("MMDDYY-HHNNSS"), LocalClock::now());
    setCaption(ui->Label6, S.sDTG);
    if (S.bCommandedStatus)
        SendToRadio(QStringLiteral("sm;"));
    FlashPollerLED();
    if (S.bCommandedStatus) {
        SendToRadio(QStringLiteral("smh;"));
        delay(300);
        if (S.AverageCount > 3600)
            S.ClearSums();
    }

    S.smRadioResponse = m_digitFilter.digitsOrNoReply(S.smRadioResponse);
    ui->SMeterBar->setPosition(StrToInt(S.smRadioResponse));
    setCaption(ui->SMeterBarCount, S.smRadioResponse);

    S.sNewSMH = m_digitFilter.apply(S.smhRadioResponse);
    const bool haveReading = !S.sNewSMH.isEmpty();
    if (haveReading) {
        ui->lReturnedData->setText(S.smhRadioResponse);
        S.smhRadioResponse.clear();
    } else {
        S.sNewSMH = DigitFilter::noReplyDigits();
    }

    // Only a reading the radio actually sent goes into the sums: the no-reply
    // value would record a plausible level for a silent radio.
    if (S.FileWrite && haveReading) {
        S.AddReading(S.sNewSMH);
        setCaption(ui->lAverageCount, FloatToStr(S.AverageCount));
        setCaption(ui->lAccumulatorTotal, FloatToStr(double(RoundHalfEven(S.AverageRunningTotal))));
        setCaption(ui->lRunningAverage, FloatToStr(double(RoundHalfEven(S.Average))));
        setCaption(ui->lNextReset, FloatToStr(ui->seHowLong->value() - S.AverageCount));
    }

    if (!S.bCommandedStatus) {
        Poller->stop();
        ui->PollerLED->setColour(Led::LedColour::Red);
        ui->DataLED->setColour(Led::LedColour::Red);
    }
    tick.end();
}

void Tfrm_framework::stopWhenStepsEnded()
{
    DisconnectFromRadio();
    if (m_startAfterStop) {
        m_startAfterStop = false;
        bStartPollerClick();
    }
}

// ---------------------------------------------------------------------------
// Capture file

void Tfrm_framework::setIntervalOf(QTimer* timer, int milliseconds)
{
    // The same interval keeps the running period; a new one restarts it.
    if (timer->interval() != milliseconds)
        timer->setInterval(milliseconds);
}

void Tfrm_framework::bBeginCaptureClick()
{
    const QString suffix = CaptureSuffix(ui->Additionaldata->text());
    ui->Additionaldata->setText(suffix);
    ui->bBeginCapture->setEnabled(false);
    ui->bEndCapture->setEnabled(true);
    S.Counter = 0;
    if (!IPTest(ui->HostAddress->text()))
        return;

    S.sDTG = CaptureFileName(LocalClock::now(), suffix);
    const QString workingDir = QDir::currentPath();
    S.sFilePath = QDir::toNativeSeparators(workingDir);
    S.sFileName = CaptureFilePath(workingDir, S.sDTG);
    setCaption(ui->lFileName, S.sDTG);
    CheckCapturePlace(workingDir, suffix);
    S.txt.Assign(S.sFileName);
    S.txt.Append();
    S.ClearSums();
    S.FileWrite = true;
    // The spin edit holds its text to 2..3600 when it loses the focus; a value
    // typed but never confirmed is held to the same range here.
    const int seconds = std::clamp(ui->seHowLong->value(), HowLongSpinEdit::kMinimum, HowLongSpinEdit::kMaximum);
    setIntervalOf(UserTimer, seconds * 1000);
}

void Tfrm_framework::bEndCaptureClick()
{
    ui->bBeginCapture->setEnabled(true);
    ui->bEndCapture->setEnabled(false);
    S.ClearSums();
    if (S.FileWrite) {
        closeCaptureFile();
    } else {
        showInformation(QStringLiteral("No file is opened, you must begin a capture before you can close the file"));
    }
}

// ---------------------------------------------------------------------------
// Integration tick

void Tfrm_framework::UserTimerTimer()
{
    if (!S.FileWrite)
        return;
    S.Counter += 1;
    // A period without a single reading has nothing to record; records still
    // waiting for the disk are tried again all the same.
    if (S.AverageCount <= 0) {
        S.txt.Retry();
        return;
    }

    S.Average = S.PeriodLevel();
    // The first period may be partial: it is recorded but not plotted.
    if (S.Counter > 1)
        chart()->Add(S.Average, FormatDateTime(QStringLiteral("hh:nn:ss"), LocalClock::now()), kPointRed);
    S.Average = double(RoundHalfEven(S.Average));
    setCaption(ui->lAverage, FloatToStr(S.Average));
    const QString line = CaptureRecordLine(LocalClock::now(), S.sNewSMH, S.Average);
    // The period ends here whatever the disk does: its record keeps its own
    // time and level, and waits in memory until the disk takes it. "Written
    // data" follows once it is on the disk.
    S.ClearSums();
    S.txt.WriteLine(line);
}

// ---------------------------------------------------------------------------
// Printing

void Tfrm_framework::Button1Click()
{
    // The dialog stays open without holding up the timers; the chart is printed
    // when the user confirms it.
    auto printer = std::make_shared<QPrinter>();
    m_boxes.post([this, printer](std::function<void()> answered) {
        MessageBoxes::instance().printDialog(this, *printer, [this, printer, answered](bool accepted) {
            answered();
            if (accepted)
                guarded([&] { chart()->PrintTo(*printer); });
        });
    });
}

// ---------------------------------------------------------------------------
// Radio link control

bool Tfrm_framework::IPTest(const QString& S)
{
    if (S.isEmpty())
        return false;
    int counter = 0;
    for (const QChar c : S) {
        if (c == u'.')
            counter += 1;
        else if (c < u'0' || c > u'9')
            counter = 255;
    }
    return counter == 3;
}

QString Tfrm_framework::ConnectFailureText()
{
    return QStringList{
        QStringLiteral("K4 communications failed, possible problems are:"),
        QString(),
        QStringLiteral("1.  The radio may be off."),
        QStringLiteral("2.  Your network may be misconfigured."),
        QStringLiteral("3.  The IP address may be wrong."),
        QStringLiteral("4.  The port may be wrong, normally use port 9200."),
        QString(),
        QStringLiteral("Tap MENU on your K4, and scroll to \"IP Address\", to get the radios IP address."),
    }
        .join(QLatin1Char('\r'));
}

void Tfrm_framework::ConnectToRadio()
{
    if (!IPTest(ui->HostAddress->text())) {
        showInformation(QStringLiteral("Connect To Radio: You must enter a valid IP address"),
                        [this] { ui->HostAddress->setFocus(); });
        return;
    }
    if (S.bConnectionStatus)
        return;
    try {
        K4Telnet->setHost(ui->HostAddress->text());
        S.iPort = StrToInt(ui->PortAddress->text());
        S.sPort = QString::number(S.iPort);
        K4Telnet->setPort(static_cast<quint16>(static_cast<quint32>(S.iPort) & 0xFFFFu));
        S.sHost = ui->HostAddress->text();
        K4Telnet->Connect();
    } catch (...) {
        m_boxes.post([this](std::function<void()> answered) {
            MessageBoxes::instance().warning(this, ConnectFailureText(), answered);
        });
    }
}

void Tfrm_framework::DisconnectFromRadio()
{
    // The link is never cut in the middle of a receive step or a poll tick; a
    // disconnect asked for then is carried out as soon as that step has ended.
    if (!S.AllowStop()) {
        S.Steps.requestStop();
        return;
    }
    ui->lReturnedData->clear();
    Poller->stop();
    S.Steps.cancelStop();
    K4Telnet->Disconnect();
    ui->OnLineLED->setColour(Led::LedColour::Red);
}

void Tfrm_framework::SendToRadio(const QString& sCommand)
{
    if (!S.bConnectionStatus)
        return;
    K4Telnet->SendString(sCommand);
    delay(100);
}

void Tfrm_framework::K4TelnetConnected()
{
    ui->OnLineLED->setColour(Led::LedColour::Lime);
    S.bConnectionStatus = true;
}

void Tfrm_framework::K4TelnetDisconnected()
{
    ui->PollerLED->setColour(Led::LedColour::Red);
    ui->DataLED->setColour(Led::LedColour::Red);
    ui->OnLineLED->setColour(Led::LedColour::Red);
    S.bConnectionStatus = false;
    DisconnectFromRadio();
}

void Tfrm_framework::K4TelnetStatus(void*, TIdStatus, const QString& AStatusText)
{
    setCaption(ui->LastNetRequestLabel, AStatusText);
    setCaption(ui->LastPortlabel, S.sPort);
    setCaption(ui->LastIP, S.sHost);
    if (AStatusText == QLatin1String("Disconnected.")) {
        ui->OnLineLED->setColour(Led::LedColour::Red);
        ui->DataLED->setColour(Led::LedColour::Red);
        S.bConnectionStatus = false;
        // Only a loss nobody asked for: Stop Poller and the close clear
        // bCommandedStatus before they disconnect; a window being destroyed
        // has let its retries go already.
        if (S.bCommandedStatus && m_reconnect)
            m_reconnect->linkLost();
    }
}

void Tfrm_framework::K4TelnetDataAvailable(const TIdBytes& Buffer, const QStringList& Replies)
{
    // A step that starts inside another one's data flash (the only wait of a
    // receive step) is covered by that flash. Nesting a flash per chunk would
    // recurse without bound when data streams in faster than 50 ms per chunk.
    const bool insideFlash = S.Steps.receiving();
    StepGate::Token step = S.Steps.begin(StepGate::Step::Receive);
    S.sRadioResponse = TelnetClient::BytesToString(Buffer);
    // Sorted on arrival, before the flash: the flash's waits let the next
    // chunk's step run, and a later reply must never be overwritten by an
    // earlier one resuming after it.
    for (const QString& reply : Replies) {
        if (reply.contains(QLatin1String("SMH")))
            S.smhRadioResponse = reply;
        else
            S.smRadioResponse = reply;
    }
    if (!insideFlash)
        FlashDataLED();
    step.end();
}

// ---------------------------------------------------------------------------
// LEDs

void Tfrm_framework::FlashDataLED()
{
    ui->DataLED->setColour(Led::LedColour::Blue);
    delay(25);
    ui->DataLED->setColour(Led::LedColour::Lime);
    delay(25);
}

void Tfrm_framework::FlashPollerLED()
{
    ui->PollerLED->setColour(Led::LedColour::Blue);
    delay(25);
    ui->PollerLED->setColour(Led::LedColour::Lime);
    delay(25);
}
