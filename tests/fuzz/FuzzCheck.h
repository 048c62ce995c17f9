// What the fuzz targets share: a check that stops the run when an invariant fails, so that
// libFuzzer keeps the input that broke it, and small helpers to take an input apart.
#pragma once

#include <QByteArrayView>
#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzzCheckFailed(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

// Aborts (a finding for libFuzzer) when the condition is false.
#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void(0) : fuzzCheckFailed(#condition, __FILE__, __LINE__))

inline QByteArrayView fuzzInput(const uint8_t *data, size_t size)
{
    return QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size));
}

// The parts of 'bytes' between the separators, empty parts included: n separators give
// n + 1 parts.
inline QList<QByteArrayView> splitParts(QByteArrayView bytes, char separator)
{
    QList<QByteArrayView> parts;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = bytes.indexOf(separator, start);
        if (end < 0) {
            parts.append(bytes.sliced(start));
            return parts;
        }
        parts.append(bytes.sliced(start, end - start));
        start = end + 1;
    }
}

// Part 'index', or an empty view when there are fewer parts.
inline QByteArrayView partAt(const QList<QByteArrayView> &parts, qsizetype index)
{
    return index >= 0 && index < parts.size() ? parts.at(index) : QByteArrayView();
}
