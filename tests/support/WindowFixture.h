#pragma once

#include "K4Status_U.h"
#include "RecordingBoxes.h"
#include "ui_K4Status_U.h"

#include "HowLongSpinEdit.h"
#include "Led.h"
#include "LevelChart.h"
#include "MeterBar.h"

#include "FormatSettings.h"

#include <QLocale>
#include <QTest>

#include <memory>

// A fresh, activated main window with its boxes recorded, for one test.
struct WindowFixture {
    RecordingBoxes boxes;
    std::unique_ptr<Tfrm_framework> w;

    explicit WindowFixture(bool activate = true)
    {
        w = std::make_unique<Tfrm_framework>();
        if (activate)
            this->activate();
    }

    void activate()
    {
        w->show();
        w->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(w->activated(), 5000);
    }

    Ui::Tfrm_framework& ui() { return w->form(); }

    // Points the window at a loopback radio.
    void aimAt(quint16 port)
    {
        ui().HostAddress->setText(QStringLiteral("127.0.0.1"));
        ui().PortAddress->setText(QString::number(port));
    }

    // Start Poller against the radio on a loopback port: the host box holds
    // the loopback address before the click, so no test reaches the preset
    // host. True when the link came up.
    bool startPolling(quint16 port)
    {
        aimAt(port);
        QTest::mouseClick(ui().bStartPoller, Qt::LeftButton);
        return w->S.bConnectionStatus;
    }

    // Begin Capture with the integration period and the file name suffix
    // typed into their boxes first. True when the capture file is open.
    bool beginCapture(int seconds, const QString& suffix)
    {
        ui().seHowLong->setText(QString::number(seconds));
        ui().Additionaldata->setText(suffix);
        QTest::mouseClick(ui().bBeginCapture, Qt::LeftButton);
        return w->S.FileWrite;
    }
};
