#include "stationwindow/recorddialog.h"

#include "records/recordkeys.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
QString shown(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined: return QStringLiteral("—");
    case QJsonValue::Bool: return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    case QJsonValue::Double: return QString::number(value.toDouble());
    case QJsonValue::String: return value.toString();
    case QJsonValue::Array:
    case QJsonValue::Object: break;
    }
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(document.toJson(QJsonDocument::Compact));
}

QString cell(const QJsonValue &value, const char *tag = "td")
{
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), shown(value).toHtmlEscaped());
}

// Rows of label and value, for the fields of `object` named in `fields`.
QString fieldTable(const QJsonObject &object, const QVector<QPair<QString, QString>> &fields)
{
    QString rows;
    for (const auto &field : fields)
        rows += QStringLiteral("<tr><th align=left>%1</th>%2</tr>").arg(field.second, cell(object.value(field.first)));
    return QStringLiteral("<table cellspacing=0 cellpadding=3>%1</table>").arg(rows);
}

QString failureTable(const QJsonArray &failures)
{
    if (failures.isEmpty())
        return QStringLiteral("<p>No line failed.</p>");
    QString rows = QStringLiteral("<tr><th>Line</th><th>Command</th><th>Reason</th><th>Answer</th>"
                                  "<th>Late answer</th></tr>");
    for (const QJsonValue &failure : failures) {
        const QJsonObject f = failure.toObject();
        rows += QStringLiteral("<tr>%1%2%3%4%5</tr>")
                    .arg(cell(f.value(RecordKeys::Failure::line)), cell(f.value(RecordKeys::Failure::command)),
                         cell(f.value(RecordKeys::Failure::reason)), cell(f.value(RecordKeys::Failure::answer)),
                         cell(f.value(RecordKeys::Failure::lateAnswer)));
    }
    return QStringLiteral("<table border=1 cellspacing=0 cellpadding=3>%1</table>").arg(rows);
}

QString summaryHtml(const QJsonObject &record)
{
    const QString title = QStringLiteral("%1: %2, attempt %3")
                              .arg(record.value(RecordKeys::slot).toString(),
                                   record.value(RecordKeys::result).toString())
                              .arg(record.value(RecordKeys::attempt).toInt());
    const QJsonArray failures = record.value(RecordKeys::failures).toArray();
    QString html = QStringLiteral("<h2>%1</h2>").arg(title.toHtmlEscaped());
    html += fieldTable(record, {{RecordKeys::unit, "Unit"},
                                {RecordKeys::port, "Port"},
                                {RecordKeys::usb, "USB adapter"},
                                {RecordKeys::started, "Started"},
                                {RecordKeys::time, "Ended"},
                                {RecordKeys::seconds, "Seconds"},
                                {RecordKeys::file, "Configuration"},
                                {RecordKeys::fileSha256, "SHA-256"},
                                {RecordKeys::commands, "Commands"},
                                {RecordKeys::sent, "Sent"},
                                {RecordKeys::acknowledged, "Acknowledged"},
                                {RecordKeys::error, "Error"},
                                {RecordKeys::station, "Station"},
                                {RecordKeys::morlankVersion, "Morlank"}});
    html += QStringLiteral("<h3>Failed lines: %1</h3>").arg(failures.size()) + failureTable(failures);
    const QJsonValue clock = record.value(RecordKeys::clock);
    html += QStringLiteral("<h3>Clock</h3>");
    html += clock.isObject() ? fieldTable(clock.toObject(), {{RecordKeys::Clock::written, "Written"},
                                                             {RecordKeys::Clock::timeAcknowledged, "Time acknowledged"},
                                                             {RecordKeys::Clock::dateAcknowledged, "Date acknowledged"},
                                                             {RecordKeys::Clock::verified, "Verified"},
                                                             {RecordKeys::Clock::readBack, "Read back"}})
                             : QStringLiteral("<p>Not set.</p>");
    html += QStringLiteral("<h3>Values</h3><p>%1</p>").arg(shown(record.value(RecordKeys::values)).toHtmlEscaped());
    return html;
}
} // namespace

RecordDialog::RecordDialog(const QJsonObject &record, QWidget *parent)
    : QDialog(parent)
    , summary(new QTextBrowser)
    , json(new QPlainTextEdit)
{
    setWindowTitle(QStringLiteral("%1: last record").arg(record.value(RecordKeys::slot).toString()));
    summary->setHtml(summaryHtml(record));
    json->setReadOnly(true);
    json->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    json->setPlainText(QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Indented)));
    auto *tabs = new QTabWidget;
    tabs->addTab(summary, QStringLiteral("Attempt"));
    tabs->addTab(json, QStringLiteral("JSON"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    resize(640, 560);
}

QString RecordDialog::summaryText() const
{
    return summary->toPlainText();
}

QString RecordDialog::jsonText() const
{
    return json->toPlainText();
}
