#pragma once

#include "MessageBoxes.h"

#include <QList>
#include <QPrinter>
#include <QString>
#include <QStringList>

#include <functional>

// Stands in for every modal box in tests: records what would have been shown
// and answers from a script instead of waiting for a user. By default a box is
// answered as soon as it is shown; with holdOpen set it stays "open", as with
// a user who is away, until the test calls answer().
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
    // Boxes stay open until answer() is called.
    bool holdOpen = false;

    qsizetype openCount() const { return m_open.size(); }
    // Answers the oldest open box (with its scripted answer); false when none is open.
    bool answer()
    {
        if (m_open.isEmpty())
            return false;
        m_open.takeFirst()();
        return true;
    }

    void information(QWidget*, const QString& text, Done done) override
    {
        record(QStringLiteral("information"), text, std::move(done));
    }
    void warning(QWidget*, const QString& text, Done done) override
    {
        record(QStringLiteral("warning"), text, std::move(done));
    }
    void confirmation(QWidget*, const QString& text, std::function<void(BoxResult)> done) override
    {
        const BoxResult result = confirmationAnswers.isEmpty() ? BoxResult::Yes : confirmationAnswers.takeFirst();
        record(QStringLiteral("confirmation"), text, [done = std::move(done), result] {
            if (done)
                done(result);
        });
    }
    void standardError(QWidget*, const QString& text, Done done) override
    {
        record(QStringLiteral("error"), text, std::move(done));
    }
    void startupError(const QString& text) override { shown.append({QStringLiteral("startup"), text}); }
    void printDialog(QWidget*, QPrinter& printer, std::function<void(bool)> done) override
    {
        const bool accepted = printAccepted;
        record(QStringLiteral("print"), QString(), [this, &printer, accepted, done = std::move(done)] {
            if (accepted && configurePrinter)
                configurePrinter(printer);
            if (done)
                done(accepted);
        });
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
    void record(const QString& kind, const QString& text, Done answerBox)
    {
        shown.append({kind, text});
        if (whileOpen) {
            auto f = whileOpen;
            whileOpen = nullptr;  // one open box at a time runs it
            f();
        }
        if (holdOpen)
            m_open.append(std::move(answerBox));
        else if (answerBox)
            answerBox();
    }

    QList<Done> m_open;
};
