#pragma once

#include <QString>

#include <functional>

class QPrinter;
class QWidget;

enum class BoxResult { Ok, Yes, No, Cancel };

// Every modal box and dialog of the program goes through this interface, so
// tests can answer them instead of blocking on a real dialog.
//
// A box is modal to the whole application but runs no event loop of its own:
// the call returns at once and the answer arrives through the callback (at
// once, or later when the user answers). Qt does not fire a timer again while
// that timer's own slot runs, so a box that waited inside a tick, or inside a
// wait a tick is in, would stop polling and recording until it was answered.
class MessageBoxes {
public:
    using Done = std::function<void()>;

    virtual ~MessageBoxes() = default;

    // Title: the application title; no icon; "OK".
    virtual void information(QWidget* parent, const QString& text, Done done = {}) = 0;
    // Title "Warning"; warning icon; "OK".
    virtual void warning(QWidget* parent, const QString& text, Done done = {}) = 0;
    // Title "Confirm"; warning icon; "&Yes" (default), "&No"; Escape or the
    // close button give Cancel.
    virtual void confirmation(QWidget* parent, const QString& text, std::function<void(BoxResult)> done) = 0;
    // An error that escaped a handler. Title: the application title; error icon.
    virtual void standardError(QWidget* parent, const QString& text, Done done = {}) = 0;
    // An error that escaped start-up, before the event loop runs. Title
    // "Application Error"; error icon. Returns when it is dismissed.
    virtual void startupError(const QString& text) = 0;
    // The system print dialog; done(true) when the user confirmed, with the
    // printer set up as chosen. The printer must outlive the answer.
    virtual void printDialog(QWidget* parent, QPrinter& printer, std::function<void(bool)> done) = 0;

    // The boxes in use. Defaults to the real dialogs; a test installs its
    // recorder (the caller keeps ownership; nullptr restores the default).
    static MessageBoxes& instance();
    static void install(MessageBoxes* boxes);
};

// The real dialogs.
class QtMessageBoxes : public MessageBoxes {
public:
    void information(QWidget* parent, const QString& text, Done done) override;
    void warning(QWidget* parent, const QString& text, Done done) override;
    void confirmation(QWidget* parent, const QString& text, std::function<void(BoxResult)> done) override;
    void standardError(QWidget* parent, const QString& text, Done done) override;
    void startupError(const QString& text) override;
    void printDialog(QWidget* parent, QPrinter& printer, std::function<void(bool)> done) override;
};

// The title of information and error boxes: the program's name, "Quorvel".
// (The executable's name is lower case on Linux; the title is there to name
// the program, so it does not follow the file name.)
QString ApplicationTitle();
// The same, for the given executable file name: its name without directory,
// cut at its first ".", capitalised (quorvel and QUORVEL.EXE give Quorvel).
QString ApplicationTitle(const QString& executable);
