#include "values/commandtemplate.h"

#include "device/sendablecharacters.h"
#include "values/assignment.h"
#include "values/placeholders.h"

namespace {
// What keeps `value` out of a command line, or nothing.
QString valueProblem(const QString &value)
{
    for (const QChar c : value) {
        if (c == QLatin1Char('\r'))
            return QStringLiteral("holds a carriage return");
        if (c == QLatin1Char('\n'))
            return QStringLiteral("holds a line feed");
    }
    const qsizetype bad = firstUnsendableIndex(value);
    if (bad < 0)
        return QString();
    if (value.at(bad).isNull())
        return QStringLiteral("holds a NUL character");
    const uint code = value.mid(bad, 2).toUcs4().constFirst();
    return QStringLiteral("holds %1 (U+%2), outside Latin-1, which the line cannot carry")
        .arg(value.mid(bad, QChar::requiresSurrogates(code) ? 2 : 1),
             QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0')));
}
} // namespace

CommandTemplate::CommandTemplate(const QStringList &commands, const QVector<int> &lineNumbers)
{
    for (int i = 0; i < commands.size(); ++i)
        split(commands.at(i), lineNumbers.value(i));
}

void CommandTemplate::split(const QString &command, int line)
{
    qsizetype literalStart = 0;
    for (const PlaceholderSpan &span : findPlaceholders(command)) {
        if (span.start > literalStart)
            pieces.append({command.mid(literalStart, span.start - literalStart), -1});
        const QString name = span.name.toString();
        auto known = std::find_if(found.cbegin(), found.cend(),
                                  [&name](const Placeholder &p) { return p.name == name; });
        if (known == found.cend()) {
            found.append({name, line});
            known = found.cend() - 1;
        }
        pieces.append({QString(), int(known - found.cbegin())});
        literalStart = span.start + span.length;
    }
    pieces.append({command.mid(literalStart), -1});
    commandEnds.append(pieces.size());
}

bool CommandTemplate::hasPlaceholders() const
{
    return !found.isEmpty();
}

QVector<CommandTemplate::Placeholder> CommandTemplate::placeholders() const
{
    return found;
}

QVector<CommandTemplate::Placeholder> CommandTemplate::withoutValue(const QStringList &names) const
{
    QVector<Placeholder> missing;
    for (const Placeholder &placeholder : found) {
        if (!names.contains(placeholder.name))
            missing.append(placeholder);
    }
    return missing;
}

QString CommandTemplate::describe(const QVector<Placeholder> &placeholders)
{
    QStringList parts;
    for (const Placeholder &placeholder : placeholders)
        parts << QStringLiteral("%1 (line %2)").arg(placeholder.name).arg(placeholder.line);
    return parts.join(QStringLiteral(", "));
}

// Each placeholder's value, looked up and checked once for all commands.
bool CommandTemplate::collectValues(const Assignment &assignment,
                                    QVector<const QString *> &values, QString &error) const
{
    values.clear();
    for (const Placeholder &placeholder : found) {
        const QString *value = assignment.value(placeholder.name);
        if (!value) {
            error = QStringLiteral("no value for %1 (line %2)").arg(placeholder.name).arg(placeholder.line);
            return false;
        }
        const QString problem = valueProblem(*value);
        if (!problem.isEmpty()) {
            error = QStringLiteral("the value of %1 %2 %3")
                        .arg(placeholder.name, assignment.sourceOf(placeholder.name), problem);
            return false;
        }
        values.append(value);
    }
    return true;
}

bool CommandTemplate::fill(const Assignment &assignment, QStringList &filled, QString &error) const
{
    QVector<const QString *> values;
    if (!collectValues(assignment, values, error))
        return false;
    const auto text = [&values](const Piece &piece) -> const QString & {
        return piece.placeholder < 0 ? piece.literal : *values.at(piece.placeholder);
    };
    filled.clear();
    filled.reserve(commandEnds.size());
    int begin = 0;
    for (const int end : commandEnds) {
        qsizetype length = 0;
        for (int i = begin; i < end; ++i)
            length += text(pieces.at(i)).size();
        QString command;
        command.reserve(int(length));
        for (int i = begin; i < end; ++i)
            command += text(pieces.at(i));
        filled.append(command);
        begin = end;
    }
    return true;
}
