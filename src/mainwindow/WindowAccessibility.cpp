#include "WindowAccessibility.h"

#include "ui_K4Status_U.h"

#include <QLabel>
#include <QString>

#include <utility>

void SetUpAccessibility(Ui::Tfrm_framework& ui)
{
    // Caption label -> the control it names. The captions carry no "&", so
    // the ties add no keyboard shortcut; they only relate the two for
    // assistive technology.
    const std::pair<QLabel*, QWidget*> captions[] = {
        {ui.Label2, ui.LastNetRequestLabel}, {ui.Label3, ui.LastIP},
        {ui.Label4, ui.LastPortlabel},       {ui.StatusLabel, ui.OnLineLED},
        {ui.Label13, ui.PollerLED},          {ui.DataActivity, ui.DataLED},
        {ui.HostLabel, ui.HostAddress},      {ui.Portlabel, ui.PortAddress},
        {ui.Label5, ui.lReturnedData},       {ui.Label22, ui.Label6},
        {ui.lSMeter, ui.SMeterBar},          {ui.Label8, ui.SMeterBarCount},
        {ui.Label11, ui.seHowLong},          {ui.Label12, ui.lAverage},
        {ui.Label17, ui.lRunningAverage},    {ui.Label18, ui.lAverageCount},
        {ui.Label19, ui.lAccumulatorTotal},  {ui.Label20, ui.lNextReset},
        {ui.Label15, ui.lFileName},          {ui.Label16, ui.lWrittenData},
        {ui.Label10, ui.Additionaldata},
    };
    for (const auto& [caption, control] : captions)
        caption->setBuddy(control);

    // Edit boxes and the bar have no text of their own that says what they
    // hold; the panels are named after their headings.
    ui.HostAddress->setAccessibleName(QStringLiteral("Host"));
    ui.PortAddress->setAccessibleName(QStringLiteral("Port"));
    ui.lReturnedData->setAccessibleName(QStringLiteral("Raw data from radio"));
    ui.SMeterBar->setAccessibleName(QStringLiteral("S-Meter"));
    ui.seHowLong->setAccessibleName(QStringLiteral("Integration period in seconds"));
    ui.Additionaldata->setAccessibleName(QStringLiteral("Additional naming data"));
    ui.chtFastLine1->setAccessibleName(QStringLiteral("Level chart"));
    ui.Panel2->setAccessibleName(QStringLiteral("Polling and Network Control"));
    ui.Panel1->setAccessibleName(QStringLiteral("S-Meter"));
    ui.Panel3->setAccessibleName(QStringLiteral("Save and Print"));
    ui.Panel4->setAccessibleName(QStringLiteral("Collection Status"));
    ui.Panel5->setAccessibleName(QStringLiteral("File Information"));

    ui.OnLineLED->setAccessibleStates(QStringLiteral("Network Status"), QStringLiteral("connected"),
                                      QStringLiteral("disconnected"));
    ui.PollerLED->setAccessibleStates(QStringLiteral("Poller activity"), QStringLiteral("polling"),
                                      QStringLiteral("idle"));
    ui.DataLED->setAccessibleStates(QStringLiteral("Data"), QStringLiteral("receiving"), QStringLiteral("idle"));
}
