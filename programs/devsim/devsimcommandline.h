#ifndef DEVSIMCOMMANDLINE_H
#define DEVSIMCOMMANDLINE_H

#include "simulator/deviceprotocol.h"

#include <QCommandLineParser>
#include <QString>

class QCoreApplication;

// The options of morlank-devsim and their checks.
class DevsimCommandLine
{
public:
    DevsimCommandLine();

    // Handles --help and --version itself (and exits); false when an option
    // is wrong, after saying why on standard error.
    bool process(const QCoreApplication &app);

    DeviceProtocol::Settings settings() const;
    QString ttyPath() const;
    QString logPath() const;
    int deviceCount() const;
    bool servesFleet() const; // --count was given
    QString linkFolder() const; // empty without --links
    bool startsUnplugged() const;

private:
    bool readLineEnd();
    bool readNumber(const QString &option, int minimum, const QString &what, int &value);
    bool readDelayedAnswers();
    bool readTtyPath();
    bool readLinkFolder();
    bool fail(const QString &message) const;

    QCommandLineParser parser;
    DeviceProtocol::Settings protocolSettings;
    QString tty;
    int count = 1;
};

#endif // DEVSIMCOMMANDLINE_H
