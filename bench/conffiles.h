#ifndef CONFFILES_H
#define CONFFILES_H

#include <QString>
#include <QTemporaryDir>

// Two configuration files with the same commands, written to a scratch
// folder: one with CR LF line ends, one with the commands separated by CR
// alone, which makes the whole file a single line.
class ConfFiles
{
public:
    explicit ConfFiles(int commandCount);

    bool isValid() const;
    int commandCount() const;
    QString crLfPath() const;
    QString crPath() const;

private:
    bool write(const QString &path, const QByteArray &lineEnd) const;

    QTemporaryDir dir;
    int count;
    bool valid;
};

#endif // CONFFILES_H
