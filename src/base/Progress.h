#pragma once

#include <QtGlobal>
#include <functional>

// How far a long operation has got: called now and then from the thread doing the work with
// the units done and the units in all (rows, bytes, cells: the operation says which).
// Returning false asks the operation to stop; it then ends as cancelled, leaving nothing
// behind. An empty function is never called.
using TProgress = std::function<bool(qint64 done, qint64 total)>;
