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
};
