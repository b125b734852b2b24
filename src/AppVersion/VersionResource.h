#pragma once

#include <QByteArrayView>

#include <optional>

// The executable's own version resource (type 16, identifier 1), or nothing
// when it carries none. On Windows this is the real resource; elsewhere it is
// the block embedded at build time. The bytes stay valid for the whole run.
std::optional<QByteArrayView> OwnVersionResource();
