#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The command line's arguments (without the program name) as the platform encodes file
// names. An argument whose bytes no text can stand for, so that no file of that name could
// be opened or written, gives nullopt and a one-line reason in *refusal.
std::optional<QStringList> DecodeCliArguments(const QList<QByteArray>& args, QString* refusal);

// The text with its control characters written as escapes (\n, \t, \xNN, \uNNNN), so
// that a message naming any file stays on one line.
QString OneLine(const QString& text);
