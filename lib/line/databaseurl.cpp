#include "line/databaseurl.h"

#include <QRegularExpression>

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
} // namespace DatabaseUrl
