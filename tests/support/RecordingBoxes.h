#pragma once

#include "MessageBoxes.h"

#include <QList>
#include <QPrinter>
#include <QString>

#include <functional>

// Stands in for every modal box in tests: records what would have been shown
// and answers from a script instead of waiting for a user.
class RecordingBoxes : public MessageBoxes {
public:
    struct Shown {
        QString kind;  // "information", "warning", "confirmation", "error", "startup", "print"
        QString text;
    };

    RecordingBoxes() { MessageBoxes::install(this); }
    ~RecordingBoxes() override { MessageBoxes::install(nullptr); }

    QList<Shown> shown;
    QList<BoxResult> confirmationAnswers;  // taken in order; Yes when empty
    // Called while a box is "open", so a test can let timers tick behind it.
    std::function<void()> whileOpen;
    // Print dialog: false cancels; true accepts after configure() set up the printer.
    bool printAccepted = false;
    std::function<void(QPrinter&)> configurePrinter;

    void information(QWidget*, const QString& text) override { record(QStringLiteral("information"), text); }
    void warning(QWidget*, const QString& text) override { record(QStringLiteral("warning"), text); }
    BoxResult confirmation(QWidget*, const QString& text) override
    {
        record(QStringLiteral("confirmation"), text);
        return confirmationAnswers.isEmpty() ? BoxResult::Yes : confirmationAnswers.takeFirst();
    }
    void standardError(QWidget*, const QString& text) override { record(QStringLiteral("error"), text); }
    void startupError(const QString& text) override { record(QStringLiteral("startup"), text); }
    bool printDialog(QWidget*, QPrinter& printer) override
    {
        record(QStringLiteral("print"), QString());
        if (printAccepted && configurePrinter)
            configurePrinter(printer);
        return printAccepted;
    }

    QStringList texts(const QString& kind) const
    {
        QStringList out;
        for (const Shown& s : shown)
            if (s.kind == kind)
                out << s.text;
        return out;
    }

private:
    void record(const QString& kind, const QString& text)
    {
        shown.append({kind, text});
        if (whileOpen) {
            auto f = whileOpen;
            whileOpen = nullptr;  // one open box at a time runs it
            f();
        }
    }
};
