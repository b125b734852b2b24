#pragma once

// The socket error texts users of this program know, by their Windows socket
// error numbers (10004 and up). Both socket layers report errors with these
// numbers and texts, so a report reads the same on every platform. Returns
// nullptr for a number not listed.
const char* WinsockErrorText(int number);
