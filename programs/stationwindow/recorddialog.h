#ifndef RECORDDIALOG_H
#define RECORDDIALOG_H

#include <QDialog>
#include <QJsonObject>

class QTextBrowser;
class QPlainTextEdit;

// A unit's last record, as the log keeps it: readable (every failed line,
// the clock, the values) and as its JSON.
class RecordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit RecordDialog(const QJsonObject &record, QWidget *parent = nullptr);

    // The readable page, as plain text.
    QString summaryText() const;
    QString jsonText() const;

private:
    QTextBrowser *summary;
    QPlainTextEdit *json;
};

#endif // RECORDDIALOG_H
