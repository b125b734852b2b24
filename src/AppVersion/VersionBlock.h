#pragma once

// Reading Windows version blocks (VS_VERSIONINFO) from untrusted bytes.
//
// Do not include this header together with <windows.h>: winver.h defines
// VerQueryValue as a macro.

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <optional>

// Finds the value of the node that path names, like Windows VerQueryValue:
// backslashes separate the keys (a run of them counts as one, empty
// components are ignored, keys match without regard to case), "\" alone
// names the root's fixed part. Children are walked within each node's
// wLength, on 32-bit boundaries counted from the block's start. Gives the
// value's bytes (a view into block: text values as UTF-16LE, terminator
// included) and sets *isText from the node's wType; gives nothing when the
// path is not there or the block is malformed on the way (lengths past their
// parent or the block, nodes shorter than a header, keys without a
// terminator). Never reads outside block.
std::optional<QByteArrayView> VerQueryValue(QByteArrayView block, QStringView path, bool* isText = nullptr);

// The lookup of GetVersionInfo over a given block: the string table of the
// first "\VarFileInfo\Translation" entry, keyed by language and code page
// as 8 upper-case hex digits, and in it the value of ident up to its
// terminator. Empty text when any step finds nothing or the value has no
// terminator.
QString GetVersionInfoFrom(QByteArrayView block, const QString& ident);

// GetVersionInfo over a resource that may be missing: throws EResNotFound
// ("Resource 1 not found") when resource is empty (no version resource),
// otherwise GetVersionInfoFrom on a private copy.
QString GetVersionInfoIn(const std::optional<QByteArrayView>& resource, const QString& ident);

// Entry for fuzzers: runs the queries of the lookup over data and aborts if a
// result lies outside it. Returns 0.
int FuzzVersionQuery(const std::uint8_t* data, std::size_t size);
