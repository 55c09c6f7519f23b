// config.ini beside the program: what a start reads from it and what a close
// writes back. Files are read back from a copy, never through the cache of
// the settings object that wrote them.

#include "channelsettings.h"
#include "guitest.h"
#include "varlabel.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace guitest;

namespace {

struct Seen
{
    std::array<QColor, 8> colours;
    std::array<int, 5> min {};
    std::array<int, 5> max {};
    QStringList names;
    bool plainText = true; // every label shows its name as text, not markup
    QStringList warnings;
};

// Warnings said during a run, passed on to the test's own handler as well.
QStringList *runWarnings = nullptr;
QtMessageHandler testHandler = nullptr;
void noteWarning(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtWarningMsg && runWarnings)
        runWarnings->append(text);
    testHandler(type, context, text);
}

// Starts a window on whatever config.ini holds, notes what it shows, closes
// it (the save) and destroys it (the flush).
Seen runOnce()
{
    Seen seen;
    runWarnings = &seen.warnings;
    testHandler = qInstallMessageHandler(noteWarning);
    auto window = makeWindow();
    const Chart *chart = child<Chart>(window.get(), "chart");
    seen.colours = chart->look().colours;
    std::copy(chart->look().min.begin(), chart->look().min.end(), seen.min.begin());
    std::copy(chart->look().max.begin(), chart->look().max.end(), seen.max.begin());
    for (int k = 1; k <= 7; ++k) {
        const auto *label = child<Varlabel>(window.get(), QStringLiteral("param%1").arg(k));
        seen.names.append(label->text());
        seen.plainText = seen.plainText && label->textFormat() == Qt::PlainText;
    }
    window->close();
    window.reset();
    qInstallMessageHandler(testHandler);
    runWarnings = nullptr;
    return seen;
}

// Root writes read-only files and into read-only folders anyway, so as root
// the row is run again by a copy of this program as an unprivileged user, in
// a folder of its own beside which its config.ini lives.
void runRowUnprivileged()
{
    const QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("tst_settings"));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    const uid_t nobody = 65534;
    for (const QString &path : { scratch.path(), copy })
        QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), scratch.path());
    env.insert(QStringLiteral("TMPDIR"), scratch.path());
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(scratch.path());
    process.start(QStringLiteral("setpriv"),
                  { QStringLiteral("--reuid=%1").arg(nobody),
                    QStringLiteral("--regid=%1").arg(nobody), QStringLiteral("--clear-groups"),
                    copy,
                    QStringLiteral("%1:%2").arg(QLatin1String(QTest::currentTestFunction()),
                                                QLatin1String(QTest::currentDataTag())) });
    const ProgramRun run = finishProgram(process, 120000);
    QVERIFY2(run.exitCode == 0 && run.out.contains(" 0 failed, 0 skipped"),
             (run.out + run.err).constData());
}

QString colourText(const QColor &c)
{
    return QStringLiteral("%1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue());
}

// A private copy of the written file, read by a settings object of its own.
class WrittenFile
{
public:
    WrittenFile()
    {
        copyPath = dir.filePath(QStringLiteral("written.ini"));
        QFile::copy(configPath(), copyPath);
        settings = std::make_unique<QSettings>(copyPath, QSettings::IniFormat);
        settings->setIniCodec("UTF-8");
    }
    QVariant value(const char *key) const { return settings->value(QLatin1String(key)); }
    QStringList keys() const { return settings->allKeys(); }
    QByteArray raw() const { return readFile(copyPath); }

private:
    QTemporaryDir dir;
    QString copyPath;
    std::unique_ptr<QSettings> settings;
};

// What stat says of the file a path leads to, zeros when there is none.
struct stat fileStatus(const QString &path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status;
}

// Should the start open the FIFO, its open blocks until a writer comes: this
// brings one after 2 s, so the test fails instead of hanging.
class FifoWriter
{
public:
    explicit FifoWriter(const QString &fifo)
        : path(QFile::encodeName(fifo))
        , thread([this] { run(); })
    { }
    ~FifoWriter()
    {
        done = true;
        thread.join();
    }
    bool wasNeeded() const { return needed; }

private:
    void run()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done) {
            if (std::chrono::steady_clock::now() > deadline) {
                needed = true;
                const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    const QByteArray path;
    std::atomic<bool> done { false };
    std::atomic<bool> needed { false };
    std::thread thread;
};

const QStringList defaultNames { "Dis",       "Engy",     "Temp",   "Ambient",
                                 "Dis_Avr10", "STD_Engy", "STD_Dis" };

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeConfig(); }
    void cleanup() { removeConfig(); }

    void firstRunWritesTheDefaults();
    void loadAndSave_data();
    void loadAndSave();
    void statisticsChannelsNeitherReadNorWritten();
    void handTypedUtf8NameSurvives();
    void nameShownAndKeptAsTyped_data();
    void nameShownAndKeptAsTyped();
    void unwritableFile_data();
    void unwritableFile();
    void fileKeptUnlessChanged_data();
    void fileKeptUnlessChanged();
    void notARegularFile_data();
    void notARegularFile();
    void perUserFileWhenFolderReadOnly_data();
    void perUserFileWhenFolderReadOnly();
};

void TestSettings::firstRunWritesTheDefaults()
{
    QVERIFY(!QFile::exists(configPath()));
    const Seen seen = runOnce();
    QCOMPARE(seen.names, defaultNames);
    QCOMPARE(seen.colours[0], QColor(Qt::red));

    const WrittenFile file;
    QStringList keys = file.keys();
    keys.sort();
    QStringList expected;
    for (const char *section : { "Color", "Max", "Min", "Name" })
        for (int k = 1; k <= 5; ++k)
            expected.append(QStringLiteral("%1/VAL%2").arg(QLatin1String(section)).arg(k));
    QCOMPARE(keys, expected);

    const QByteArray raw = file.raw();
    // Colours are quoted (they hold commas), so they read back as one text.
    for (const char *line : { "VAL1=\"255,0,0\"", "VAL2=\"255,255,255\"", "VAL3=\"0,0,255\"",
                              "VAL4=\"128,128,128\"", "VAL5=\"0,255,0\"", "VAL1=0", "VAL5=15000",
                              "VAL1=Dis\n", "VAL4=Ambient", "VAL5=Dis_Avr10" })
        QVERIFY2(raw.contains(line), line);
    for (const char *section : { "[Color]", "[Min]", "[Max]", "[Name]" })
        QVERIFY2(raw.contains(section), section);
    QCOMPARE(file.value("Color/VAL4").toString(), QStringLiteral("128,128,128"));
    QCOMPARE(file.value("Max/VAL3").toInt(), 15000);
}

void TestSettings::loadAndSave_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("name");

    QTest::newRow("only Max VAL2")
        << QByteArray("[Max]\nVAL2=5000\n") << 1 << QColor(Qt::white) << 0 << 5000 << "Engy";
    QTest::newRow("four colour parts: the fourth ignored")
        << QByteArray("[Color]\nVAL3=\"10,20,30,40\"\n") << 2 << QColor(10, 20, 30) << 0 << 15000
        << "Temp";
    QTest::newRow("out of range and text: clamped, text is 0")
        << QByteArray("[Color]\nVAL1=\"300,-5,abc\"\n") << 0 << QColor(255, 0, 0) << 0 << 15000
        << "Dis";
    QTest::newRow("two colour parts keep the blue") << QByteArray("[Color]\nVAL3=\"10,20\"\n") << 2
                                                    << QColor(10, 20, 255) << 0 << 15000 << "Temp";
    QTest::newRow("unquoted colour: read as its parts")
        << QByteArray("[Color]\nVAL4=1,2,3\n") << 3 << QColor(1, 2, 3) << 0 << 15000 << "Ambient";
    QTest::newRow("parts too large for an int clamp by sign")
        << QByteArray("[Color]\nVAL2=\"99999999999,-99999999999,7\"\n") << 1 << QColor(255, 0, 7)
        << 0 << 15000 << "Engy";
    QTest::newRow("unquoted, spaced, past 64 bits")
        << QByteArray("[Color]\nVAL2=+12, 99999999999999999999999, -99999999999999999999999\n") << 1
        << QColor(12, 255, 0) << 0 << 15000 << "Engy";
    QTest::newRow("empty parts read as 0") << QByteArray("[Color]\nVAL5=\",,9\"\n") << 4
                                           << QColor(0, 0, 9) << 0 << 15000 << "Dis_Avr10";
    QTest::newRow("name Amb") << QByteArray("[Name]\nVAL4=Amb\n") << 3 << QColor(Qt::darkGray) << 0
                              << 15000 << "Amb";
    QTest::newRow("Max not a number reads as 0")
        << QByteArray("[Max]\nVAL5=lots\n") << 4 << QColor(Qt::green) << 0 << 0 << "Dis_Avr10";
    QTest::newRow("negative Min") << QByteArray("[Min]\nVAL1=-100\n") << 0 << QColor(Qt::red)
                                  << -100 << 15000 << "Dis";
    QTest::newRow("escaped name of a file written without a codec")
        << QByteArray("[Name]\nVAL1=\\x8ddd\\x79bb\n") << 0 << QColor(Qt::red) << 0 << 15000
        << QString::fromUtf8("距离");
    // The file is saved, and no warning says otherwise.
    QTest::newRow("a section not closed")
        << QByteArray("[Max]\nVAL2=5000\n[Name\n") << 1 << QColor(Qt::white) << 0 << 5000 << "Engy";
    QTest::newRow("Windows line ends")
        << QByteArray("[Color]\r\nVAL2=\"1,2,3\"\r\n[Name]\r\nVAL2=E\r\n") << 1 << QColor(1, 2, 3)
        << 0 << 15000 << "E";
}

void TestSettings::loadAndSave()
{
    QFETCH(QByteArray, content);
    QFETCH(int, channel);
    QFETCH(QColor, colour);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(QString, name);

    writeConfig(content);
    const Seen seen = runOnce();
    QCOMPARE(seen.colours[size_t(channel)], colour);
    QCOMPARE(seen.min[size_t(channel)], min);
    QCOMPARE(seen.max[size_t(channel)], max);
    QCOMPARE(seen.names.at(channel), name);
    QVERIFY2(!seen.warnings.join('\n').contains("not saved"), qPrintable(seen.warnings.join('\n')));

    // Every other channel keeps its defaults.
    const std::array<QColor, 5> defaults { QColor(Qt::red), QColor(Qt::white), QColor(Qt::blue),
                                           QColor(Qt::darkGray), QColor(Qt::green) };
    for (int k = 0; k < 5; ++k) {
        if (k == channel)
            continue;
        QCOMPARE(seen.colours[size_t(k)], defaults[size_t(k)]);
        QCOMPARE(seen.min[size_t(k)], 0);
        QCOMPARE(seen.max[size_t(k)], 15000);
        QCOMPARE(seen.names.at(k), defaultNames.at(k));
    }
    QCOMPARE(seen.names.mid(5), defaultNames.mid(5));

    // The close wrote all 20 keys with the values in use.
    {
        const WrittenFile file;
        QCOMPARE(file.keys().size(), 20);
        for (int k = 0; k < 5; ++k) {
            const QByteArray key = QByteArray::number(k + 1);
            QCOMPARE(file.value("Color/VAL" + key).toString(), colourText(seen.colours[size_t(k)]));
            QCOMPARE(file.value("Min/VAL" + key).toInt(), seen.min[size_t(k)]);
            QCOMPARE(file.value("Max/VAL" + key).toInt(), seen.max[size_t(k)]);
            QCOMPARE(file.value("Name/VAL" + key).toString(), seen.names.at(k));
        }
    }

    // And the next start shows the same again.
    const Seen again = runOnce();
    QVERIFY(again.colours == seen.colours);
    QVERIFY(again.min == seen.min);
    QVERIFY(again.max == seen.max);
    QCOMPARE(again.names, seen.names);
}

void TestSettings::statisticsChannelsNeitherReadNorWritten()
{
    writeConfig("[Color]\nVAL6=\"1,2,3\"\nVAL7=\"4,5,6\"\n"
                "[Name]\nVAL6=Six\nVAL7=Seven\n");
    const Seen seen = runOnce();
    QCOMPARE(seen.names.at(5), QStringLiteral("STD_Engy"));
    QCOMPARE(seen.names.at(6), QStringLiteral("STD_Dis"));
    QCOMPARE(seen.colours[5], QColor(Qt::white));
    QCOMPARE(seen.colours[6], QColor(Qt::white));

    // Left in the file as they were; none added to Min or Max.
    const WrittenFile file;
    QCOMPARE(file.keys().size(), 24);
    QCOMPARE(file.value("Name/VAL6").toString(), QStringLiteral("Six"));
    QCOMPARE(file.value("Color/VAL7").toString(), QStringLiteral("4,5,6"));
    QVERIFY(!file.keys().contains(QStringLiteral("Min/VAL6")));
    QVERIFY(!file.keys().contains(QStringLiteral("Max/VAL7")));
}

void TestSettings::handTypedUtf8NameSurvives()
{
    const QString distance = QString::fromUtf8("距离");
    writeConfig("[Name]\nVAL1=" + distance.toUtf8() + "\nVAL2=" + QString::fromUtf8("能量").toUtf8()
                + "\n");
    const Seen seen = runOnce();
    QCOMPARE(seen.names.at(0), distance);
    QCOMPARE(seen.names.at(1), QString::fromUtf8("能量"));

    // Written back as plain UTF-8, readable by hand and by the next start.
    const QByteArray raw = readFile(configPath());
    QVERIFY2(raw.contains("VAL1=" + distance.toUtf8()), raw.constData());
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(raw.constData(), raw.size(), &state);
    QCOMPARE(state.invalidChars, 0);
    QCOMPARE(runOnce().names.at(0), distance);
}

void TestSettings::unwritableFile_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("a directory named config.ini") << true;
    QTest::newRow("a read-only file") << false;
}

void TestSettings::unwritableFile()
{
    QFETCH(bool, directory);
    const QByteArray content("[Name]\nVAL1=Kept\n[Color]\nVAL1=\"1,2,3\"\n");
    const QString inside = configPath() + QStringLiteral("/keep.txt");
    if (directory) {
        QVERIFY(QDir().mkpath(configPath()));
        writeFile(inside, content);
    } else {
        if (::geteuid() == 0)
            return runRowUnprivileged();
        writeConfig(content);
        QFile::setPermissions(configPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile probe(configPath());
        if (probe.open(QIODevice::Append))
            QSKIP("this user writes read-only files anyway (root)");
    }

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(directory ? "not a regular file" : "not saved"));
    const Seen seen = runOnce(); // the save fails, said on standard error
    if (directory) {
        QCOMPARE(seen.names, defaultNames);
        QVERIFY(QFileInfo(configPath()).isDir());
        QCOMPARE(readFile(inside), content);
    } else {
        QCOMPARE(seen.names.at(0), QStringLiteral("Kept"));
        QCOMPARE(seen.colours[0], QColor(1, 2, 3));
        QCOMPARE(readFile(configPath()), content);
        QFile::setPermissions(configPath(), QFile::ReadOwner | QFile::WriteOwner);
        // The failed save stays pending in the process's cache of this file
        // and would go into the next test's file: flushed here instead.
        QSettings(configPath(), QSettings::IniFormat).sync();
    }
    // Nothing was left behind beside it either.
    const QStringList left = QDir(QCoreApplication::applicationDirPath())
                                 .entryList({ QStringLiteral("config.ini*") }, QDir::AllEntries);
    QCOMPARE(left, QStringList { QStringLiteral("config.ini") });
}

void TestSettings::nameShownAndKeptAsTyped_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("markup") << QByteArray("<b>x</b>") << "<b>x</b>";
    QTest::newRow("image") << QByteArray(R"("<img src=\"/nowhere/fifo\">")")
                           << R"(<img src="/nowhere/fifo">)";
    QTest::newRow("entity") << QByteArray("\"&lt;i&gt;\"") << "&lt;i&gt;";
    QTest::newRow("unquoted comma") << QByteArray("Distance, mm") << "Distance, mm";
    QTest::newRow("unquoted commas, no spaces") << QByteArray("a,b,c") << "a, b, c";
    QTest::newRow("quoted comma") << QByteArray("\"a,b\"") << "a,b";
}

void TestSettings::nameShownAndKeptAsTyped()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, shown);
    writeConfig("[Name]\nVAL1=" + value + "\n");
    const Seen seen = runOnce();
    QCOMPARE(seen.names.at(0), shown);
    QVERIFY(seen.plainText);

    // Written back as one text, which the next start shows again.
    {
        const WrittenFile file;
        const QVariant name = file.value("Name/VAL1");
        QCOMPARE(name.userType(), int(QMetaType::QString));
        QCOMPARE(name.toString(), shown);
    }
    QCOMPARE(runOnce().names.at(0), shown);
}

void TestSettings::fileKeptUnlessChanged_data()
{
    // Every key, each in the form a save writes it, among comments.
    QByteArray full("; hand-kept\n");
    for (const char *section : { "Color", "Min", "Max", "Name" }) {
        full += "[" + QByteArray(section) + "]\n";
        for (int k = 1; k <= 5; ++k) {
            const QByteArray key = "VAL" + QByteArray::number(k) + "=";
            if (section == QByteArray("Color"))
                full += key + "\"" + QByteArray::number(k) + ",2,3\"\n";
            else if (section == QByteArray("Name"))
                full += key + (k == 1 ? QString::fromUtf8("距离").toUtf8() : "\"m, s\"") + "\n";
            else
                full += key + QByteArray::number(section == QByteArray("Min") ? -k : 1000 * k)
                    + "\n";
        }
        full += "# end of " + QByteArray(section) + "\n";
    }
    QByteArray crlf = full;
    crlf.replace("\n", "\r\n");
    const QByteArray partial("; hand-kept\r\n[Name]\r\nVAL1=Dis\r\n");

    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<bool>("unchanged");
    QTest::newRow("every key, comments, CRLF") << crlf << false << true;
    QTest::newRow("every key, through a link") << full << true << true;
    QTest::newRow("keys missing: written") << partial << false << false;
    QTest::newRow("keys missing, through a link: target written") << partial << true << false;
}

void TestSettings::fileKeptUnlessChanged()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, linked);
    QFETCH(bool, unchanged);

    const QTemporaryDir elsewhere;
    const QString target = linked ? elsewhere.filePath(QStringLiteral("kept.ini")) : configPath();
    writeFile(target, content);
    if (linked)
        QVERIFY(QFile::link(target, configPath()));
    const ino_t before = fileStatus(target).st_ino;

    runOnce();
    QCOMPARE(QFileInfo(configPath()).isSymLink(), linked);
    if (linked)
        QCOMPARE(QFileInfo(configPath()).symLinkTarget(), target);
    if (unchanged) {
        QCOMPARE(readFile(target), content);
        QCOMPARE(fileStatus(target).st_ino, before);
    } else {
        QCOMPARE(WrittenFile().keys().size(), 20);
    }
}

void TestSettings::notARegularFile_data()
{
    QTest::addColumn<bool>("linked");
    QTest::newRow("a FIFO") << false;
    QTest::newRow("a link to a FIFO") << true;
}

void TestSettings::notARegularFile()
{
    QFETCH(bool, linked);
    const QTemporaryDir elsewhere;
    const QString fifo = linked ? elsewhere.filePath(QStringLiteral("fifo")) : configPath();
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    if (linked)
        QVERIFY(QFile::link(fifo, configPath()));

    Seen seen;
    {
        const FifoWriter writer(fifo);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a regular file"));
        seen = runOnce();
        QVERIFY2(!writer.wasNeeded(), "the start waited on the FIFO");
    }
    QCOMPARE(seen.names, defaultNames);
    QVERIFY(S_ISFIFO(fileStatus(fifo).st_mode));
    QCOMPARE(QFileInfo(configPath()).isSymLink(), linked);
}

void TestSettings::perUserFileWhenFolderReadOnly_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QByteArray>("beside"); // null: no file beside the executable
    QTest::addColumn<QByteArray>("perUser"); // null: no per-user file yet
    QTest::addColumn<QByteArray>("perUserAfter");

    const QByteArray installed("[Name]\nVAL1=Installed\n");
    const QByteArray own("[Name]\nVAL1=Own\n");
    QTest::newRow("writable: beside, as ever")
        << false << installed << QByteArray() << QByteArray();
    QTest::newRow("read-only: seeded from beside")
        << true << installed << QByteArray() << installed;
    QTest::newRow("read-only: per-user file kept") << true << installed << own << own;
    QTest::newRow("read-only, none beside: nothing seeded")
        << true << QByteArray() << QByteArray() << QByteArray();
}

void TestSettings::perUserFileWhenFolderReadOnly()
{
    QFETCH(bool, readOnly);
    QFETCH(QByteArray, beside);
    QFETCH(QByteArray, perUser);
    QFETCH(QByteArray, perUserAfter);
    if (readOnly && ::geteuid() == 0)
        return runRowUnprivileged();

    const QTemporaryDir root;
    const QString binDir = root.filePath(QStringLiteral("bin"));
    const QString userDir = root.filePath(QStringLiteral("config/tav47"));
    const QString userFile = userDir + QStringLiteral("/config.ini");
    QVERIFY(QDir().mkpath(binDir));
    if (!beside.isNull()) {
        writeFile(binDir + QStringLiteral("/config.ini"), beside);
        QFile::setPermissions(binDir + QStringLiteral("/config.ini"), QFile::ReadOwner);
    }
    if (!perUser.isNull()) {
        QVERIFY(QDir().mkpath(userDir));
        writeFile(userFile, perUser);
    }
    const QFile::Permissions writable = QFile::permissions(binDir);
    if (readOnly)
        QFile::setPermissions(binDir, QFile::ReadOwner | QFile::ExeOwner);
    const bool stillWritable = QFileInfo(binDir).isWritable();
    const QString path = settingsFilePath(binDir, userDir);
    QFile::setPermissions(binDir, writable);
    if (readOnly && stillWritable)
        QSKIP("this user writes to read-only folders anyway (root)");

    QCOMPARE(path, readOnly ? userFile : binDir + QStringLiteral("/config.ini"));
    QCOMPARE(QFileInfo::exists(userFile), !perUserAfter.isNull());
    if (!perUserAfter.isNull()) {
        QCOMPARE(readFile(userFile), perUserAfter);
        QVERIFY(QFile::permissions(userFile) & QFile::WriteOwner);
    }
    if (!readOnly)
        QVERIFY(!QFileInfo::exists(userDir));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
