#pragma once
// One record of the station journal as a line of text that carries its own
// CRC-32: a line cut short by a crash, or damaged, reads as nothing instead
// of as another arrow.
//
//   H tallyon-journal 1 <database>                       the file's first line
//   A <archer> <round> <arrow> <ms> <as read> <typed>    a box's new text
//   S <archer> <ms>                                      the archer was saved
//
// each followed by a space and the CRC-32 of what stands before it (eight
// hex digits). Texts are percent-encoded UTF-8 behind a "=", so that an
// empty text and any character fit; <ms> is the time since the epoch.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

struct JournalRecord {
    enum class Kind { Header, Arrow, Saved };
    Kind kind = Kind::Arrow;
    std::int32_t archer = 0;
    std::int32_t round = 0;
    std::int32_t arrow = 0;
    qint64 msecs = 0;
    QString asRead;      // Arrow: the arrow's value when the archer was read
    QString text;        // Arrow: the box's text; Header: the database
};

// The IEEE CRC-32 (as zip and PNG use it).
std::uint32_t Crc32(QByteArrayView data);

// The record as one line, ending in '\n'.
QByteArray EncodeJournalRecord(const JournalRecord& record);
// The record of one line (with or without its '\n'); nothing for a line
// that is cut short, damaged or of another format.
std::optional<JournalRecord> DecodeJournalRecord(QByteArrayView line);
