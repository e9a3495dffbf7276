#include "app/mainwindow.h"
#include "simulator/chosenportlist.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QToolBar>
#include <QTranslator>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <utility>

namespace {
// Remembers every (context, source) it is asked for; translates nothing.
class RecordingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        requests.append({QString::fromUtf8(context), QString::fromUtf8(sourceText)});
        return QString();
    }

    mutable QVector<QPair<QString, QString>> requests;
};

const QStringList spacer = {QStringLiteral("<spacer>")};

// The widest text an editor can show: its format applied to every day of a
// year (every month and weekday name) and to every minute of a day.
QString widestValue(const QDateTimeEdit *edit)
{
    const QFontMetrics metrics(edit->font());
    QString widest;
    const auto consider = [&](const QDateTime &value) {
        const QString text = edit->locale().toString(value, edit->displayFormat());
        if (metrics.horizontalAdvance(text) > metrics.horizontalAdvance(widest))
            widest = text;
    };
    const QDate firstDay(2000, 1, 1);
    for (int day = 0; day < firstDay.daysInYear(); ++day)
        consider(QDateTime(firstDay.addDays(day), QTime(12, 0)));
    for (int minute = 0; minute < 24 * 60; ++minute)
        consider(QDateTime(firstDay, QTime(minute / 60, minute % 60, minute % 60)));
    return widest;
}

// What a widget shows as text, and the rectangle its style draws that text in.
struct ShownText {
    QString text;
    QRect area;
};

ShownText shownText(const QWidget *widget)
{
    QStyleOptionButton option;
    option.initFrom(widget);
    if (auto *button = qobject_cast<const QPushButton *>(widget))
        return {button->text(), widget->style()->subElementRect(QStyle::SE_PushButtonContents,
                                                                 &option, widget)};
    if (auto *box = qobject_cast<const QCheckBox *>(widget))
        return {box->text(),
                widget->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, widget)};
    if (auto *edit = qobject_cast<const QDateTimeEdit *>(widget)) {
        // a line edit keeps 2 pixels free on each side and 1 for the cursor
        const QRect field = edit->findChild<QLineEdit *>()->geometry();
        return {widestValue(edit), field.adjusted(2, 0, -3, 0)};
    }
    if (auto *label = qobject_cast<const QLabel *>(widget)) {
        const QString text = label->text();
        return {Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText()
                                          : text,
                widget->contentsRect()};
    }
    return {};
}
} // namespace

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void objectTree_data();
    void objectTree();
    void creationOrder_data();
    void creationOrder();
    void geometries_data();
    void geometries();
    void layouts_data();
    void layouts();
    void properties_data();
    void properties();
    void translatedInFormContext();
    void windowFrame();
    void menusAndActions();
    void onlyStatusLabelHasOwnFont();
    void resizeMovesNothing();
    void textsFitTheirWidgets();

private:
    QObject *object(const QString &name) const;

    RecordingTranslator translator;
    std::unique_ptr<MainWindow> window;
};

void TestForm::initTestCase()
{
    QVERIFY(QCoreApplication::installTranslator(&translator));
    // No ports: the window's first search fails at once and leaves it Disconnected.
    setChosenPortNames({});
    window = std::make_unique<MainWindow>();
}

QObject *TestForm::object(const QString &name) const
{
    if (name == window->objectName())
        return window.get();
    return window->findChild<QObject *>(name);
}

void TestForm::objectTree_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");

    const auto row = [](const char *name, const char *className, const char *parent) {
        QTest::newRow(name) << QString::fromLatin1(className) << QString::fromLatin1(parent);
    };
    // the window
    row("MainWindow", "MainWindow", "");
    row("actionVersion", "QAction", "MainWindow");
    row("actionStandard", "QAction", "MainWindow");
    row("actionAdmin", "QAction", "MainWindow");
    row("centralWidget", "QWidget", "MainWindow");
    row("menuBar", "QMenuBar", "MainWindow");
    row("mainToolBar", "QToolBar", "MainWindow");
    row("statusBar", "QStatusBar", "MainWindow");
    row("menuHelp", "QMenu", "menuBar");
    // status row
    row("layoutWidget", "QWidget", "centralWidget");
    row("horizontalLayout", "QHBoxLayout", "layoutWidget");
    row("label_Connected", "QLabel", "layoutWidget");
    row("label", "QLabel", "layoutWidget");
    row("label_2", "QLabel", "layoutWidget");
    row("pbConnect", "QPushButton", "layoutWidget");
    // progress and download
    row("layoutWidget1", "QWidget", "centralWidget");
    row("horizontalLayout_2", "QHBoxLayout", "layoutWidget1");
    row("progressBar", "QProgressBar", "layoutWidget1");
    row("pbProgram", "QPushButton", "centralWidget");
    // clock
    row("layoutWidget_2", "QWidget", "centralWidget");
    row("horizontalLayout_33", "QHBoxLayout", "layoutWidget_2");
    row("label_27", "QLabel", "layoutWidget_2");
    row("eTime", "QTimeEdit", "layoutWidget_2");
    row("layoutWidget_3", "QWidget", "centralWidget");
    row("horizontalLayout_35", "QHBoxLayout", "layoutWidget_3");
    row("pbSetDateTime", "QPushButton", "layoutWidget_3");
    row("pbGetDateTime", "QPushButton", "layoutWidget_3");
    row("cDateTimeAutomatic", "QCheckBox", "centralWidget");
    row("layoutWidget_4", "QWidget", "centralWidget");
    row("horizontalLayout_34", "QHBoxLayout", "layoutWidget_4");
    row("label_28", "QLabel", "layoutWidget_4");
    row("eDate", "QDateEdit", "layoutWidget_4");
}

void TestForm::objectTree()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    QObject *obj = object(name);
    QVERIFY(obj);
    QCOMPARE(QString::fromLatin1(obj->metaObject()->className()), className);
    QCOMPARE(obj->parent() ? obj->parent()->objectName() : QString(), parentName);
    if (obj != window.get())
        QCOMPARE(window->findChildren<QObject *>(name).size(), 1);
}

void TestForm::creationOrder_data()
{
    QTest::addColumn<QStringList>("children");

    QTest::newRow("MainWindow") << QStringList{"actionVersion", "actionStandard", "actionAdmin",
                                               "centralWidget", "menuBar", "mainToolBar",
                                               "statusBar"};
    QTest::newRow("centralWidget") << QStringList{"layoutWidget", "layoutWidget1", "pbProgram",
                                                  "layoutWidget_2", "layoutWidget_3",
                                                  "cDateTimeAutomatic", "layoutWidget_4"};
    QTest::newRow("layoutWidget") << QStringList{"horizontalLayout", "label_Connected", "label",
                                                 "label_2", "pbConnect"};
    QTest::newRow("layoutWidget1") << QStringList{"horizontalLayout_2", "progressBar"};
    QTest::newRow("layoutWidget_2") << QStringList{"horizontalLayout_33", "label_27", "eTime"};
    QTest::newRow("layoutWidget_3")
        << QStringList{"horizontalLayout_35", "pbSetDateTime", "pbGetDateTime"};
    QTest::newRow("layoutWidget_4") << QStringList{"horizontalLayout_34", "label_28", "eDate"};
    QTest::newRow("menuBar") << QStringList{"menuHelp"};
}

// Children keep the order in which they were created; the framework's own
// helper objects are left out by keeping only the names the form gives.
void TestForm::creationOrder()
{
    QFETCH(QStringList, children);

    QObject *parent = object(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(parent);
    QStringList named;
    for (const QObject *child : parent->children()) {
        if (children.contains(child->objectName()))
            named << child->objectName();
    }
    QCOMPARE(named, children);
}

void TestForm::geometries_data()
{
    QTest::addColumn<QRect>("geometry");

    // layout widgets
    QTest::newRow("layoutWidget") << QRect(10, 10, 471, 25);
    QTest::newRow("layoutWidget1") << QRect(10, 40, 471, 23);
    QTest::newRow("layoutWidget_2") << QRect(30, 140, 109, 22);
    QTest::newRow("layoutWidget_3") << QRect(280, 140, 159, 25);
    QTest::newRow("layoutWidget_4") << QRect(150, 140, 119, 22);
    // free-standing widgets
    QTest::newRow("pbProgram") << QRect(190, 80, 75, 23);
    QTest::newRow("cDateTimeAutomatic") << QRect(290, 170, 159, 17);
    QTest::newRow("menuBar") << QRect(0, 0, 498, 21);
}

void TestForm::geometries()
{
    QFETCH(QRect, geometry);

    auto *widget = window->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
}

void TestForm::layouts_data()
{
    QTest::addColumn<QString>("widgetName");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("horizontalLayout")
        << "layoutWidget"
        << QStringList{"label_Connected"} + spacer + QStringList{"label", "label_2"} + spacer
               + QStringList{"pbConnect"};
    QTest::newRow("horizontalLayout_2") << "layoutWidget1" << QStringList{"progressBar"};
    QTest::newRow("horizontalLayout_33") << "layoutWidget_2" << QStringList{"label_27", "eTime"};
    QTest::newRow("horizontalLayout_35")
        << "layoutWidget_3" << QStringList{"pbSetDateTime", "pbGetDateTime"};
    QTest::newRow("horizontalLayout_34") << "layoutWidget_4" << QStringList{"label_28", "eDate"};
}

void TestForm::layouts()
{
    QFETCH(QString, widgetName);
    QFETCH(QStringList, items);

    auto *layout = window->findChild<QHBoxLayout *>(QString::fromLatin1(QTest::currentDataTag()));
    auto *widget = window->findChild<QWidget *>(widgetName);
    QVERIFY(layout);
    QVERIFY(widget);
    QCOMPARE(widget->layout(), layout);
    QCOMPARE(layout->spacing(), 6);
    QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(layout->count(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        QCOMPARE(layout->stretch(i), 0);
        QCOMPARE(item->alignment(), Qt::Alignment());
        if (items.at(i) == spacer.first()) {
            QSpacerItem *spacerItem = item->spacerItem();
            QVERIFY(spacerItem);
            QCOMPARE(spacerItem->sizeHint(), QSize(40, 20));
            QCOMPARE(spacerItem->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(spacerItem->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
            QCOMPARE(spacerItem->sizePolicy().controlType(), QSizePolicy::DefaultType);
        } else {
            QVERIFY(item->widget());
            QCOMPARE(item->widget()->objectName(), items.at(i));
        }
    }
}

void TestForm::properties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");

    const auto row = [](const char *tag, const char *name, const char *property,
                        const QVariant &value) {
        QTest::newRow(tag) << QString::fromLatin1(name) << QByteArray(property) << value;
    };
    // window and actions
    row("title", "MainWindow", "windowTitle", "Morlank");
    row("version", "actionVersion", "text", "version 1.1.0.0");
    row("standard", "actionStandard", "text", "NormalUser");
    row("admin", "actionAdmin", "text", "SuperUser");
    row("help", "menuHelp", "title", "Help");
    // status row, as the first failed search leaves it
    row("status", "label_Connected", "text", "<font color=\"#FF0000\">Disconnected</font>");
    row("status format", "label_Connected", "textFormat", QVariant::fromValue(Qt::AutoText));
    row("serial port", "label", "text", "Serial Port : ");
    row("port name", "label_2", "text", "");
    row("connect", "pbConnect", "text", "Connect");
    // download
    row("program", "pbProgram", "text", "Program");
    row("progress value", "progressBar", "value", 0);
    row("progress minimum", "progressBar", "minimum", 0);
    row("progress maximum", "progressBar", "maximum", 100);
    // clock
    row("time label", "label_27", "text", "Time : ");
    row("time format", "eTime", "displayFormat", "HH:mm:ss");
    row("time value", "eTime", "time", QTime(0, 0));
    row("date label", "label_28", "text", "Date :");
    row("date format", "eDate", "displayFormat", QDateEdit().displayFormat());
    row("date value", "eDate", "date", QDateEdit().date());
    row("set", "pbSetDateTime", "text", "Set_DateTime");
    row("get", "pbGetDateTime", "text", "Get_DateTime");
    row("sync text", "cDateTimeAutomatic", "text", "synchronization from PC ");
    row("sync checked", "cDateTimeAutomatic", "checked", true);
    // buttons while disconnected
    row("connect enabled", "pbConnect", "enabled", true);
    row("program enabled", "pbProgram", "enabled", false);
    row("get enabled", "pbGetDateTime", "enabled", false);
    row("set enabled", "pbSetDateTime", "enabled", false);
}

void TestForm::properties()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);

    QObject *obj = object(name);
    QVERIFY(obj);
    QCOMPARE(obj->property(property.constData()), value);
}

void TestForm::translatedInFormContext()
{
    const QStringList expected = {
        "Morlank",
        "version 1.1.0.0",
        "NormalUser",
        "SuperUser",
        "<font color=\"#FF0000\">Disconnected</font>",
        "Serial Port : ",
        "None",
        "Connect",
        "Program",
        "Time : ",
        "HH:mm:ss",
        "Set_DateTime",
        "Get_DateTime",
        "synchronization from PC ",
        "Date :",
        "Help",
    };
    QStringList asked;
    for (const auto &request : qAsConst(translator.requests)) {
        if (request.first == QLatin1String("MainWindow"))
            asked << request.second;
    }
    QCOMPARE(asked, expected);
}

void TestForm::windowFrame()
{
    QCOMPARE(window->size(), QSize(498, 251));
    QCOMPARE(window->minimumSize(), QSize(0, 0));
    QCOMPARE(window->maximumSize(), QSize(792, 700));

    QList<QSize> sizes = window->windowIcon().availableSizes();
    std::sort(sizes.begin(), sizes.end(),
              [](const QSize &a, const QSize &b) { return a.width() < b.width(); });
    const QList<QSize> expected = {{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
    QCOMPARE(sizes, expected);

    QCOMPARE(window->centralWidget(), window->findChild<QWidget *>("centralWidget"));
    QVERIFY(!window->centralWidget()->layout());
    QCOMPARE(window->menuBar(), window->findChild<QMenuBar *>("menuBar"));
    QCOMPARE(window->statusBar(), window->findChild<QStatusBar *>("statusBar"));
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
}

void TestForm::menusAndActions()
{
    auto *menuBar = window->findChild<QMenuBar *>("menuBar");
    auto *menuHelp = window->findChild<QMenu *>("menuHelp");
    auto *toolBar = window->findChild<QToolBar *>("mainToolBar");
    auto *version = window->findChild<QAction *>("actionVersion");
    QVERIFY(menuBar && menuHelp && toolBar && version);

    QCOMPARE(menuBar->actions(), QList<QAction *>{menuHelp->menuAction()});
    QCOMPARE(menuHelp->actions(), QList<QAction *>{version});
    QCOMPARE(window->toolBarArea(toolBar), Qt::TopToolBarArea);
    QCOMPARE(toolBar->actions().size(), 1);
    QVERIFY(toolBar->actions().first()->isSeparator());

    // The version entry belongs to its menu only; it reaches nothing of the window.
    QVERIFY(!QObject::disconnect(version, nullptr, window.get(), nullptr));
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets << window.get();
    for (const char *name : {"actionStandard", "actionAdmin"}) {
        auto *action = window->findChild<QAction *>(name);
        QVERIFY2(action, name);
        for (const QWidget *widget : std::as_const(widgets))
            QVERIFY2(!widget->actions().contains(action), name);
        QVERIFY2(action->shortcut().isEmpty(), name);
        // disconnect() answers true only if there was a connection to undo
        QVERIFY2(!QObject::disconnect(action, nullptr, nullptr, nullptr), name);
    }
}

void TestForm::onlyStatusLabelHasOwnFont()
{
    const auto widgets = window->findChildren<QWidget *>();
    for (const QWidget *widget : widgets) {
        if (widget->objectName().isEmpty())
            continue;
        const bool isStatus = widget->objectName() == QLatin1String("label_Connected");
        QVERIFY2(widget->testAttribute(Qt::WA_SetFont) == isStatus,
                 qPrintable(widget->objectName()));
    }
    auto *status = window->findChild<QLabel *>("label_Connected");
    QVERIFY(status);
    QCOMPARE(status->font().pointSize(), 14);
    // the rest takes the window's font, which the status label only enlarges
    QCOMPARE(window->findChild<QLabel *>("label")->font(), window->font());
    QCOMPARE(status->font().family(), window->font().family());
}

// The central widget has no layout: a resized window moves no widget.
void TestForm::resizeMovesNothing()
{
    const auto children = window->centralWidget()->findChildren<QWidget *>(
        QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), 7);
    QVector<QRect> before;
    for (const QWidget *child : children)
        before << child->geometry();

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->resize(1000, 1000);
    QTRY_COMPARE(window->size(), QSize(792, 700));

    for (int i = 0; i < children.size(); ++i)
        QCOMPARE(children.at(i)->geometry(), before.at(i));
}

// Every text shows whole, in the font each widget really uses, at the
// form's fixed geometry.
void TestForm::textsFitTheirWidgets()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    int checked = 0;
    for (const QWidget *widget : window->centralWidget()->findChildren<QWidget *>()) {
        const ShownText shown = shownText(widget);
        if (shown.text.isEmpty())
            continue;
        const QFontMetrics metrics(widget->font());
        const QSize needed(metrics.horizontalAdvance(shown.text), metrics.height());
        const QString where = QStringLiteral("%1: \"%2\" needs %3x%4 in %5x%6, font %7")
                                      .arg(widget->objectName(), shown.text)
                                      .arg(needed.width())
                                      .arg(needed.height())
                                      .arg(shown.area.width())
                                      .arg(shown.area.height())
                                      .arg(QFontInfo(widget->font()).family());
        QVERIFY2(needed.width() <= shown.area.width(), qPrintable(where));
        QVERIFY2(needed.height() <= shown.area.height(), qPrintable(where));
        ++checked;
    }
    QCOMPARE(checked, 11);
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
