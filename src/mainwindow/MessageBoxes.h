#pragma once

#include <QString>

class QPrinter;
class QWidget;

enum class BoxResult { Ok, Yes, No, Cancel };

// Every modal box and dialog of the program goes through this interface, so
// tests can answer them in advance instead of blocking on a real dialog.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // Title: the application title; no icon; "OK".
    virtual void information(QWidget* parent, const QString& text) = 0;
    // Title "Warning"; warning icon; "OK".
    virtual void warning(QWidget* parent, const QString& text) = 0;
    // Title "Confirm"; warning icon; "&Yes" (default), "&No"; Escape or the
    // close button give Cancel.
    virtual BoxResult confirmation(QWidget* parent, const QString& text) = 0;
    // An error that escaped a handler. Title: the application title; error icon.
    virtual void standardError(QWidget* parent, const QString& text) = 0;
    // An error that escaped start-up. Title "Application Error"; error icon.
    virtual void startupError(const QString& text) = 0;
    // The system print dialog; true when the user confirmed.
    virtual bool printDialog(QWidget* parent, QPrinter& printer) = 0;

    // The boxes in use. Defaults to the real dialogs; a test installs its
    // recorder (the caller keeps ownership; nullptr restores the default).
    static MessageBoxes& instance();
    static void install(MessageBoxes* boxes);
};

// The real dialogs.
class QtMessageBoxes : public MessageBoxes {
public:
    void information(QWidget* parent, const QString& text) override;
    void warning(QWidget* parent, const QString& text) override;
    BoxResult confirmation(QWidget* parent, const QString& text) override;
    void standardError(QWidget* parent, const QString& text) override;
    void startupError(const QString& text) override;
    bool printDialog(QWidget* parent, QPrinter& printer) override;
};

// The executable's file name without directory, cut at its first ".", with
// every character after the first in lower case (QUORVEL.EXE gives Quorvel).
QString ApplicationTitle();
