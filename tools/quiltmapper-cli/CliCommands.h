#pragma once

#include <QStringList>

class QTextStream;

// Runs one command of quiltmapper-cli (the arguments without the program name). Results go
// to `out`, a single line per error to `err`. Returns the process exit code: 0 on
// success, 1 when the command failed, 2 when the command line was wrong.
int RunCli(const QStringList& args, QTextStream& out, QTextStream& err);

// The text of --help.
QString CliUsage();
