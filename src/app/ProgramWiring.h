#pragma once

class QApplication;
class SessionEndWatcher;
class Tfrm_framework;

// Connects the window to the ways the program can end: its shutdown sequence
// ends the event loop; a log-off or system shutdown asks first and then
// closes the capture file; SIGTERM/SIGINT close the capture file and end.
void ConnectProgramEnd(QApplication& app, Tfrm_framework& window, SessionEndWatcher& sessionEnd);
