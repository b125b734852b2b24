#pragma once

// The telnet commands the client reports to its owner: the server turning
// its echo off or on.
enum class TIdTelnetCommand { tncNoLocalEcho, tncLocalEcho, tncEcho };
