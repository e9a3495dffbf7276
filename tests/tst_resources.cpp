#include <algorithm>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QResource>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

const QString iconPath = QStringLiteral(":/new/icon/myappico.ico");
const int iconFileSize = 370070;
const int iconDirSize = 6 + 6 * 16;

struct IconImage {
    int size;
    int bytes;
};
const IconImage iconImages[] = {
    {16, 1128}, {32, 4264}, {48, 9640}, {64, 16936}, {128, 67624}, {256, 270376},
};

// Little-endian reads; out of range they give 0, so a damaged file fails a check
// instead of crashing the test.
bool inRange(const QByteArray &data, int offset, int size)
{
    return offset >= 0 && offset + size <= data.size();
}

quint8 u8(const QByteArray &data, int offset)
{
    return inRange(data, offset, 1) ? quint8(data.at(offset)) : 0;
}

quint16 u16(const QByteArray &data, int offset)
{
    return inRange(data, offset, 2) ? qFromLittleEndian<quint16>(data.constData() + offset) : 0;
}

quint32 u32(const QByteArray &data, int offset)
{
    return inRange(data, offset, 4) ? qFromLittleEndian<quint32>(data.constData() + offset) : 0;
}

int align4(int offset)
{
    return (offset + 3) & ~3;
}

// A zero-terminated UTF-16 string at offset; end receives the offset after the terminator.
QString utf16At(const QByteArray &data, int offset, int *end)
{
    QString text;
    while (offset + 1 < data.size() && u16(data, offset) != 0) {
        text += QChar(u16(data, offset));
        offset += 2;
    }
    *end = offset + 2;
    return text;
}

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// One resource of a compiled object; numeric types and names are written "#n".
struct ResEntry {
    QString type;
    QString name;
    quint16 language;
    QByteArray data;
};

// The .rsrc section of a COFF object, or an empty array.
QByteArray rsrcSection(const QByteArray &coff)
{
    const int sections = u16(coff, 2);
    const int headers = 20 + u16(coff, 16);
    for (int i = 0; i < sections; ++i) {
        const int header = headers + 40 * i;
        if (coff.mid(header, 8) == QByteArray(".rsrc\0\0\0", 8))
            return coff.mid(int(u32(coff, header + 20)), int(u32(coff, header + 16)));
    }
    return QByteArray();
}

// The resource tree has three levels: type, name, language.
void walkResourceDirectory(const QByteArray &rsrc, int offset, QStringList ids,
                           QVector<ResEntry> *entries)
{
    const int count = u16(rsrc, offset + 12) + u16(rsrc, offset + 14);
    for (int i = 0; i < count; ++i) {
        const int entry = offset + 16 + 8 * i;
        const quint32 id = u32(rsrc, entry);
        const quint32 target = u32(rsrc, entry + 4);
        if (id & 0x80000000u) {
            const int name = int(id & 0x7fffffffu);
            const QByteArray text = rsrc.mid(name + 2, 2 * u16(rsrc, name));
            ids << QString::fromUtf16(reinterpret_cast<const char16_t *>(text.constData()),
                                      text.size() / 2);
        } else {
            ids << QStringLiteral("#%1").arg(id);
        }
        if ((target & 0x80000000u) && ids.size() < 3) {
            walkResourceDirectory(rsrc, int(target & 0x7fffffffu), ids, entries);
        } else if (ids.size() == 3) {
            // in an object file the data address is relative to the section
            const int dataEntry = int(target);
            const QByteArray data =
                    rsrc.mid(int(u32(rsrc, dataEntry)), int(u32(rsrc, dataEntry + 4)));
            entries->append({ids.at(0), ids.at(1), quint16(ids.at(2).mid(1).toUInt()), data});
        }
        ids.removeLast();
    }
}

QVector<ResEntry> coffResources(const QByteArray &coff)
{
    QVector<ResEntry> entries;
    const QByteArray rsrc = rsrcSection(coff);
    if (!rsrc.isEmpty())
        walkResourceDirectory(rsrc, 0, QStringList(), &entries);
    return entries;
}

// The version block's nodes flattened to paths such as
// "VS_VERSION_INFO/StringFileInfo/040904b0/ProductName", each with its value bytes.
void parseVersionNode(const QByteArray &data, int offset, const QString &parent,
                      QMap<QString, QByteArray> *nodes)
{
    const int length = u16(data, offset);
    const int valueLength = u16(data, offset + 2);
    const bool text = u16(data, offset + 4) == 1;
    int pos;
    const QString key = utf16At(data, offset + 6, &pos);
    const QString path = parent.isEmpty() ? key : parent + QLatin1Char('/') + key;
    pos = align4(pos);
    const int valueBytes = text ? valueLength * 2 : valueLength;
    nodes->insert(path, data.mid(pos, valueBytes));
    pos = align4(pos + valueBytes);
    while (pos < offset + length) {
        const int childLength = u16(data, pos);
        if (childLength == 0)
            break;
        parseVersionNode(data, pos, path, nodes);
        pos = align4(pos + childLength);
    }
}

QString utf16Value(const QByteArray &value)
{
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(value.constData()),
                                      value.size() / 2);
    while (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

void addImageRows()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("bytes");
    for (int i = 0; i < 6; ++i)
        QTest::addRow("%dpx", iconImages[i].size) << i << iconImages[i].size << iconImages[i].bytes;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // the icon file as served from the resource collection
    void iconDirectory();
    void iconEntries_data();
    void iconEntries();
    void iconMaskMatchesAlpha_data();
    void iconMaskMatchesAlpha();
    void iconOffersAllSizes();

    // how the collection was compiled
    void resourceTree_data();
    void resourceTree();
    void iconStoredZlibCompressed();
    void formatVersionOne();

    // Windows resources of the executable
    void windresCompilesScript();
    void windowsResourceList();
    void windowsIconGroup();
    void windowsVersionFixedInfo_data();
    void windowsVersionFixedInfo();
    void windowsVersionStrings_data();
    void windowsVersionStrings();
    void windowsVersionTables();

private:
    QByteArray imageAt(int index) const;
    const ResEntry *findRes(const QString &type, const QString &name) const;
    QMap<QString, QByteArray> versionNodes() const;
    bool runWindres(const QString &program, const QStringList &arguments);

    QByteArray m_ico;
    QTemporaryDir m_tmp;
    QVector<ResEntry> m_res;
};

void TestResources::initTestCase()
{
    QFile file(iconPath);
    QVERIFY2(file.open(QIODevice::ReadOnly), "icon not registered in the resource collection");
    m_ico = file.readAll();
    QVERIFY(m_tmp.isValid());
}

QByteArray TestResources::imageAt(int index) const
{
    const int entry = 6 + 16 * index;
    return m_ico.mid(int(u32(m_ico, entry + 12)), int(u32(m_ico, entry + 8)));
}

void TestResources::iconDirectory()
{
    QCOMPARE(m_ico.size(), iconFileSize);
    QCOMPARE(u16(m_ico, 0), quint16(0)); // reserved
    QCOMPARE(u16(m_ico, 2), quint16(1)); // 1 = icon, 2 = cursor
    QCOMPARE(u16(m_ico, 4), quint16(6));
    const int lastEntry = 6 + 16 * 5;
    QCOMPARE(int(u32(m_ico, lastEntry + 12) + u32(m_ico, lastEntry + 8)), iconFileSize);
}

void TestResources::iconEntries_data()
{
    addImageRows();
}

void TestResources::iconEntries()
{
    QFETCH(int, index);
    QFETCH(int, size);
    QFETCH(int, bytes);
    const int entry = 6 + 16 * index;
    QCOMPARE(u8(m_ico, entry), quint8(size % 256)); // 0 stands for 256
    QCOMPARE(u8(m_ico, entry + 1), quint8(size % 256));
    QCOMPARE(u8(m_ico, entry + 2), quint8(0)); // no palette
    QCOMPARE(u16(m_ico, entry + 4), quint16(1)); // planes
    QCOMPARE(u16(m_ico, entry + 6), quint16(32));
    QCOMPARE(int(u32(m_ico, entry + 8)), bytes);

    // images follow the directory back to back, in entry order
    int offset = iconDirSize;
    for (int i = 0; i < index; ++i)
        offset += iconImages[i].bytes;
    QCOMPARE(int(u32(m_ico, entry + 12)), offset);

    const QByteArray image = imageAt(index);
    QVERIFY(!image.startsWith("\x89PNG"));
    QCOMPARE(u32(image, 0), quint32(40)); // BITMAPINFOHEADER
    QCOMPARE(int(u32(image, 4)), size);
    QCOMPARE(int(u32(image, 8)), 2 * size); // colour rows plus mask rows
    QCOMPARE(u16(image, 12), quint16(1));
    QCOMPARE(u16(image, 14), quint16(32));
    QCOMPARE(u32(image, 16), quint32(0)); // BI_RGB
    QCOMPARE(u32(image, 32), quint32(0)); // no colour table
}

void TestResources::iconMaskMatchesAlpha_data()
{
    addImageRows();
}

// Old renderers draw with the AND mask only: it must hide exactly the fully
// transparent pixels, and the image must not be blank.
void TestResources::iconMaskMatchesAlpha()
{
    QFETCH(int, index);
    QFETCH(int, size);
    const QByteArray image = imageAt(index);
    const int maskStart = 40 + size * size * 4;
    const int maskStride = (size + 31) / 32 * 4;
    int opaque = 0;
    int mismatches = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int alpha = u8(image, 40 + (y * size + x) * 4 + 3);
            const bool masked = u8(image, maskStart + y * maskStride + x / 8) & (0x80 >> (x % 8));
            opaque += alpha == 255;
            mismatches += masked != (alpha == 0);
        }
    }
    QCOMPARE(mismatches, 0);
    QVERIFY(opaque > 0);
}

void TestResources::iconOffersAllSizes()
{
    // built the way the window builds its icon
    QIcon icon;
    icon.addFile(iconPath, QSize(), QIcon::Normal, QIcon::Off);
    QList<QSize> sizes = icon.availableSizes(QIcon::Normal, QIcon::Off);
    std::sort(sizes.begin(), sizes.end(),
              [](const QSize &a, const QSize &b) { return a.width() < b.width(); });
    QList<QSize> expected;
    for (const IconImage &image : iconImages)
        expected << QSize(image.size, image.size);
    QCOMPARE(sizes, expected);
    for (const QSize &size : expected)
        QCOMPARE(icon.pixmap(size).size(), size);
}

void TestResources::resourceTree_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("new") << ":/new" << QStringList{"icon"};
    QTest::newRow("icon") << ":/new/icon" << QStringList{"myappico.ico"};
}

void TestResources::resourceTree()
{
    QFETCH(QString, path);
    QFETCH(QStringList, entries);
    QVERIFY(QFileInfo(path).isDir());
    QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entries);
}

void TestResources::iconStoredZlibCompressed()
{
    const QResource resource(iconPath);
    QVERIFY(resource.isValid());
    QVERIFY(QFileInfo(iconPath).isFile());
    // stored for the default locale, so found whatever the user's locale
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                  QLocale(QLocale::Japanese, QLocale::Japan)})
        QVERIFY2(QResource(iconPath, locale).isValid(), qPrintable(locale.name()));
    QCOMPARE(resource.compressionAlgorithm(), QResource::ZlibCompression);
    QCOMPARE(resource.uncompressedSize(), qint64(iconFileSize));
    QVERIFY(resource.size() < iconFileSize);
}

void TestResources::formatVersionOne()
{
    // later formats store each file's modification time
    QVERIFY(!QResource(iconPath).lastModified().isValid());

    // and the generated source registers the collection with its format number
    QStringList sources;
    QDirIterator it(QStringLiteral(MORLANK_AUTOGEN_DIR), {"qrc_resources*.cpp"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        sources << it.next();
    QVERIFY2(!sources.isEmpty(), "generated resource source not found");
    for (const QString &path : qAsConst(sources)) {
        QFile source(path);
        QVERIFY(source.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString code = QString::fromUtf8(source.readAll());
        QRegularExpressionMatchIterator versions =
                QRegularExpression(QStringLiteral("int version = (\\d+);")).globalMatch(code);
        QVERIFY2(versions.hasNext(), qPrintable("no format version in " + path));
        while (versions.hasNext())
            QCOMPARE(versions.next().captured(1), QStringLiteral("1"));
    }
}

bool TestResources::runWindres(const QString &program, const QStringList &arguments)
{
    QProcess windres;
    windres.setWorkingDirectory(QStringLiteral(MORLANK_SOURCE_DIR "/programs/resources"));
    windres.start(program, arguments);
    const bool ok = windres.waitForFinished(60000) && windres.exitStatus() == QProcess::NormalExit
            && windres.exitCode() == 0;
    if (!ok)
        qWarning().noquote() << program << arguments.join(' ') << "failed:"
                             << windres.readAllStandardError();
    return ok;
}

void TestResources::windresCompilesScript()
{
    const QString windres =
            QStandardPaths::findExecutable(QStringLiteral("x86_64-w64-mingw32-windres"));
    if (windres.isEmpty())
        QSKIP("x86_64-w64-mingw32-windres is not installed");
    // windres runs the C preprocessor on the script: the cross compiler's when
    // there is one, else the host's (the script needs no Windows headers)
    QStringList preprocess;
    if (QStandardPaths::findExecutable(QStringLiteral("x86_64-w64-mingw32-gcc")).isEmpty()) {
        const QString cpp = QStandardPaths::findExecutable(QStringLiteral("cpp"));
        if (cpp.isEmpty())
            QSKIP("no C preprocessor for windres");
        preprocess << QStringLiteral("--preprocessor=") + cpp;
    }

    const QString object = m_tmp.filePath(QStringLiteral("morlank.o"));
    QVERIFY(runWindres(windres, preprocess + QStringList{"-O", "coff", "-i", "morlank.rc",
                                                          "-o", object}));
    QFile file(object);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray coff = file.readAll();
    QCOMPARE(u16(coff, 0), quint16(0x8664)); // x86-64 COFF
    m_res = coffResources(coff);
    QVERIFY(!m_res.isEmpty());
    QVERIFY(coff.contains(utf16("Morlank.exe")));
    QVERIFY(coff.contains(utf16("040904b0")));
}

const ResEntry *TestResources::findRes(const QString &type, const QString &name) const
{
    for (const ResEntry &entry : m_res) {
        if (entry.type == type && entry.name == name)
            return &entry;
    }
    return nullptr;
}

#define REQUIRE_WINDOWS_RESOURCES()                                        \
    if (m_res.isEmpty())                                                   \
        QSKIP("the resource script was not compiled (see windresCompilesScript)")

void TestResources::windowsResourceList()
{
    REQUIRE_WINDOWS_RESOURCES();
    // RT_ICON 1 to 6 hold the same images as the embedded icon; no manifest (#24)
    QStringList found;
    for (const ResEntry &entry : m_res) {
        found << entry.type + QLatin1Char(' ') + entry.name;
        QCOMPARE(entry.language, quint16(1033));
    }
    QCOMPARE(found, QStringList({"#3 #1", "#3 #2", "#3 #3", "#3 #4", "#3 #5", "#3 #6",
                                 "#14 IDI_ICON1", "#16 #1"}));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(m_res.at(i).data, imageAt(i));
}

void TestResources::windowsIconGroup()
{
    REQUIRE_WINDOWS_RESOURCES();
    const ResEntry *group = findRes(QStringLiteral("#14"), QStringLiteral("IDI_ICON1"));
    QVERIFY(group);
    const QByteArray &dir = group->data;
    QCOMPARE(dir.size(), 6 + 6 * 14);
    QCOMPARE(u16(dir, 2), quint16(1));
    QCOMPARE(u16(dir, 4), quint16(6));
    for (int i = 0; i < 6; ++i) {
        const int entry = 6 + 14 * i;
        QCOMPARE(u8(dir, entry), quint8(iconImages[i].size % 256));
        QCOMPARE(u16(dir, entry + 6), quint16(32));
        QCOMPARE(int(u32(dir, entry + 8)), iconImages[i].bytes);
        QCOMPARE(u16(dir, entry + 12), quint16(i + 1)); // RT_ICON id
    }
}

QMap<QString, QByteArray> TestResources::versionNodes() const
{
    QMap<QString, QByteArray> nodes;
    if (const ResEntry *version = findRes(QStringLiteral("#16"), QStringLiteral("#1")))
        parseVersionNode(version->data, 0, QString(), &nodes);
    return nodes;
}

void TestResources::windowsVersionFixedInfo_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("signature") << 0 << quint32(0xfeef04bd);
    // versions 0.0.0.0
    QTest::newRow("file version high") << 8 << quint32(0);
    QTest::newRow("file version low") << 12 << quint32(0);
    QTest::newRow("product version high") << 16 << quint32(0);
    QTest::newRow("product version low") << 20 << quint32(0);
    // flags and kind
    QTest::newRow("flags mask") << 24 << quint32(0x3f);
    QTest::newRow("flags") << 28 << quint32(0);
    QTest::newRow("os: 32-bit Windows") << 32 << quint32(0x4);
    QTest::newRow("type: application") << 36 << quint32(0x1);
    QTest::newRow("subtype") << 40 << quint32(0);
    QTest::newRow("date high") << 44 << quint32(0);
    QTest::newRow("date low") << 48 << quint32(0);
}

void TestResources::windowsVersionFixedInfo()
{
    REQUIRE_WINDOWS_RESOURCES();
    QFETCH(int, offset);
    QFETCH(quint32, expected);
    const QByteArray fixed = versionNodes().value(QStringLiteral("VS_VERSION_INFO"));
    QCOMPARE(fixed.size(), 52);
    QCOMPARE(u32(fixed, offset), expected);
}

void TestResources::windowsVersionStrings_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    // filled in
    QTest::newRow("FileVersion") << "FileVersion" << "0.0.0.0";
    QTest::newRow("ProductVersion") << "ProductVersion" << "0.0.0.0";
    QTest::newRow("ProductName") << "ProductName" << "Morlank";
    QTest::newRow("OriginalFilename") << "OriginalFilename" << "Morlank.exe";
    // present but empty
    QTest::newRow("CompanyName") << "CompanyName" << "";
    QTest::newRow("FileDescription") << "FileDescription" << "";
    QTest::newRow("LegalCopyright") << "LegalCopyright" << "";
}

void TestResources::windowsVersionStrings()
{
    REQUIRE_WINDOWS_RESOURCES();
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QMap<QString, QByteArray> nodes = versionNodes();
    const QString path = QStringLiteral("VS_VERSION_INFO/StringFileInfo/040904b0/") + key;
    QVERIFY2(nodes.contains(path), qPrintable(path));
    QCOMPARE(utf16Value(nodes.value(path)), expected);
}

void TestResources::windowsVersionTables()
{
    REQUIRE_WINDOWS_RESOURCES();
    QStringList paths = versionNodes().keys();
    paths.removeAll(QStringLiteral("VS_VERSION_INFO"));
    QCOMPARE(paths,
             QStringList({"VS_VERSION_INFO/StringFileInfo",
                          "VS_VERSION_INFO/StringFileInfo/040904b0",
                          "VS_VERSION_INFO/StringFileInfo/040904b0/CompanyName",
                          "VS_VERSION_INFO/StringFileInfo/040904b0/FileDescription",
                          "VS_VERSION_INFO/StringFileInfo/040904b0/FileVersion",
                          "VS_VERSION_INFO/StringFileInfo/040904b0/LegalCopyright",
                          "VS_VERSION_INFO/StringFileInfo/040904b0/OriginalFilename",
                          "VS_VERSION_INFO/StringFileInfo/040904b0/ProductName",
                          "VS_VERSION_INFO/StringFileInfo/040904b0/ProductVersion",
                          "VS_VERSION_INFO/VarFileInfo",
                          "VS_VERSION_INFO/VarFileInfo/Translation"}));
    QCOMPARE(versionNodes().value(QStringLiteral("VS_VERSION_INFO/VarFileInfo/Translation")),
             QByteArray::fromHex("0904b004")); // 0x0409, 0x04b0
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
