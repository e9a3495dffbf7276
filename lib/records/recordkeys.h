#ifndef RECORDKEYS_H
#define RECORDKEYS_H

#include "jobs/jobjson.h"

#include <QString>

// The keys of an attempt record, as the log, the spool and the database's
// `record` column keep it. Every writer and reader of a record names its
// fields from here, so that a key is spelled once: renaming one would leave
// every log already written unread, so a key, once here, never changes.
namespace RecordKeys {
inline const QString attemptId = QStringLiteral("attempt_id");
inline const QString time = QStringLiteral("time"); // when the attempt ended
inline const QString started = QStringLiteral("started");
inline const QString station = QStringLiteral("station");
inline const QString slot = QStringLiteral("slot");
inline const QString port = QStringLiteral("port");
inline const QString usb = QStringLiteral("usb");
inline const QString arrival = QStringLiteral("arrival");
inline const QString unit = QStringLiteral("unit");
inline const QString file = QStringLiteral("file");
inline const QString fileSha256 = QStringLiteral("file_sha256");
inline const QString commands = QStringLiteral("commands");
inline const QString attempt = QStringLiteral("attempt");
inline const QString result = QStringLiteral("result");
inline const QString sent = QStringLiteral("sent");
inline const QString acknowledged = QStringLiteral("acknowledged");
inline const QString seconds = QStringLiteral("seconds");
inline const QString failures = QStringLiteral("failures");
inline const QString clock = QStringLiteral("clock");
inline const QString values = QStringLiteral("values");
inline const QString error = QStringLiteral("error");
inline const QString morlankVersion = QStringLiteral("morlank_version");
// Who did what: each a text or null.
inline const QString operatorName = QStringLiteral("operator");
inline const QString release = QStringLiteral("release");
inline const QString order = QStringLiteral("order");

// The object under `usb`.
namespace Usb {
inline const QString serialNumber = QStringLiteral("serial_number");
inline const QString vidPid = QStringLiteral("vid_pid");
inline const QString manufacturer = QStringLiteral("manufacturer");
} // namespace Usb

// Each entry of `failures`, and the object under `clock`, as the jobs' JSON
// writes them.
namespace Failure = JobJson::FailureKeys;
namespace Clock = JobJson::ClockKeys;
} // namespace RecordKeys

#endif // RECORDKEYS_H
