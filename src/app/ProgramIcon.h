#pragma once

#include <QIcon>

// The program's icon with every size drawn for it (16, 32, 48 and 256 px),
// so the title bar and the taskbar each pick an image made for their size
// instead of a scaled-down 256 px one.
QIcon ProgramIcon();
