#include "line/databaseurl.h"

#include <QRegularExpression>

#include <libpq-fe.h>

namespace DatabaseUrl {
QString masked(const QString &url)
{
    static const QString maskText = QStringLiteral("***");
    static const QRegularExpression userInfo(QStringLiteral("^(postgres(?:ql)?://[^:@/?]*):[^@/?]*@"));
    static const QRegularExpression keyword(
        QStringLiteral("(password\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'|[^\\s&]*)"),
        QRegularExpression::CaseInsensitiveOption);
    QString shown = url;
    shown.replace(userInfo, QStringLiteral("\\1:") + maskText + QLatin1Char('@'));
    shown.replace(keyword, QStringLiteral("\\1") + maskText);
    return shown;
}

QString passwordWarning(const QString &url)
{
    PQconninfoOption *options = PQconninfoParse(url.toUtf8().constData(), nullptr);
    bool given = false;
    for (PQconninfoOption *option = options; option && option->keyword; ++option)
        given |= qstrcmp(option->keyword, "password") == 0 && option->val && *option->val;
    PQconninfoFree(options);
    if (!given)
        return {};
    return QStringLiteral("warning: the database URL holds a password, which other users of this computer can "
                          "read from its process list; put it in ~/.pgpass (mode 0600) or PGPASSFILE instead.");
}
} // namespace DatabaseUrl
