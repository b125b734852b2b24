#pragma once

#include "CaptureWriter.h"

#include <QString>

// The capture file's operating-system calls on Windows: Win32 file handles
// behind the writer's integer descriptors (CRT descriptors that own them).
CaptureWriter::FileCalls& Win32CaptureFileCalls();

// Whether name still refers to the file open as fd: same volume serial number
// and file index. False when name is gone or was replaced by another file.
bool Win32NameRefersToOpenFile(int fd, const QString& name);

// errno for a Windows error code, chosen so that the writer's mapping back to
// the program's codes gives the same Windows code again where it has one.
int ErrnoFromWin32Error(unsigned long error);
