#include "modaldriver.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

ModalDriver::ModalDriver()
{
    connect(&timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer.start(10);
}

void ModalDriver::chooseFile(const QString &path)
{
    file = path;
}

void ModalDriver::afterChoosing(std::function<void()> action)
{
    chosen = std::move(action);
}

void ModalDriver::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (auto *dialog = qobject_cast<QFileDialog *>(modal))
        answer(dialog);
    else if (auto *box = qobject_cast<QMessageBox *>(modal))
        close(box);
}

void ModalDriver::answer(QFileDialog *dialog)
{
    dialogCaption = dialog->windowTitle();
    dialogDirectory = dialog->directory().absolutePath();
    dialogFilters = dialog->nameFilters();
    if (file.isEmpty()) {
        dialog->reject();
        return;
    }
    if (chosen)
        connect(dialog, &QFileDialog::fileSelected, this, [this] { chosen(); });
    // Typed into the name box as an operator would: selectFile() leaves that
    // box alone while it has focus, and the dialog's model may not list a
    // file written a moment ago.
    auto *nameBox = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (!nameBox)
        qFatal("the file dialog has no file name box");
    nameBox->setText(file);
    static_cast<QDialog *>(dialog)->accept(); // as the Open button does
}

void ModalDriver::close(QMessageBox *box)
{
    messages << box->text();
    box->accept();
}
