#include "song/SongSettingsFile.h"
#include "support/ConfigFolder.h"
#include "support/SmfBuilder.h"
#include "views/ChartSource.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <filesystem>
#include <mutex>

namespace {

// Makers that count their calls and note the thread of each.
struct RecordingMakers {
    std::mutex mutex;
    int charts = 0;
    int channelTexts = 0;
    std::vector<QThread*> threads;

    ChartSource::Makers makers()
    {
        return {[this](ChartKind kind, const LoadedSong&, const std::string& fileName) {
                    record(charts);
                    return Chart{kind, 12, 7, {}, fileName, {5, 5, 11, 6}, 0, {}, {}, {}};
                },
                [](ChartKind kind) { return Chart{kind, 12, 7, {}, {}, {}, 0, {}, {}, {}}; },
                [this](const std::string& fileName, const PlaybackOptions& options, const std::atomic<bool>&) {
                    record(channelTexts);
                    return "channel " + std::to_string(options.playChannel) + " of " + fileName;
                }};
    }
    void record(int& counter)
    {
        const std::lock_guard lock(mutex);
        ++counter;
        threads.push_back(QThread::currentThread());
    }
};

std::vector<std::uint8_t> twoChannelSong(int extraNotes)
{
    SmfBuilder song(0, 500);
    song.track().noteOn(0, 1, 60, 90).noteOff(250, 1, 60).noteOn(0, 2, 64, 70);
    for (int i = 0; i < extraNotes; ++i) {
        song.noteOn(10, 1, 70 + i, 20).noteOff(10, 1, 70 + i);
    }
    return song.noteOff(125, 2, 64).end().bytes();
}

QString write(const QTemporaryDir& dir, const std::vector<std::uint8_t>& bytes)
{
    const QString path = dir.filePath("song.mid");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    return path;
}

std::shared_ptr<const ChartPicture> computed(ChartSource& source, ChartKind kind, const PanelSelection& selection)
{
    if (auto picture = source.cached(kind, selection)) {
        return picture;
    }
    QSignalSpy ready(&source, &ChartSource::pictureReady);
    source.compute(kind, selection);
    if (!ready.wait(10000)) {
        return nullptr;
    }
    return source.cached(kind, selection);
}

}  // namespace

class ChartSourceTest : public QObject {
    Q_OBJECT

private slots:
    void repaintsComeFromTheCacheUntilSomethingChanges_data();
    void repaintsComeFromTheCacheUntilSomethingChanges();
    void channelNotesAreComputedOnceOffTheGuiThread();
    void requestsMadeWhileOneComputesAreServedInTurn();
};

void ChartSourceTest::repaintsComeFromTheCacheUntilSomethingChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("stillCached");
    QTest::addColumn<int>("songsLoaded");
    QTest::newRow("nothing") << "nothing" << true << 1;
    QTest::newRow("another window") << "kind" << false << 1;
    QTest::newRow("another channel") << "channel" << false << 2;
    QTest::newRow("low notes shifted") << "shift" << false << 2;
    QTest::newRow("another lower limit") << "limit" << false << 2;
    QTest::newRow("file rewritten larger") << "grow" << false << 2;
    QTest::newRow("file touched, same size") << "touch" << false << 2;
    QTest::newRow("a rig file") << "rig" << false << 2;
    QTest::newRow("a coil the rig has not") << "coil" << true << 1;
    QTest::newRow("the speed changed while it plays") << "speed" << false << 2;
    QTest::newRow("its song settings written") << "settings" << false << 2;
}

void ChartSourceTest::repaintsComeFromTheCacheUntilSomethingChanges()
{
    QFETCH(QString, change);
    QFETCH(bool, stillCached);
    QFETCH(int, songsLoaded);
    const ConfigFolder config;
    QTemporaryDir dir;
    RecordingMakers recorder;
    ChartSource source(recorder.makers());
    PanelSelection selection{true, 0, write(dir, twoChannelSong(1)).toStdString(), {}, {}, "Gone", {}};
    selection.options.playChannel = 2;
    selection.options.lowerLimit = 61;
    const auto first = computed(source, ChartKind::Spectrum, selection);
    QVERIFY(first != nullptr);

    ChartKind kind = ChartKind::Spectrum;
    if (change == "kind") {
        kind = ChartKind::Notes;
    } else if (change == "channel") {
        selection.options.playChannel = 1;
    } else if (change == "shift") {
        selection.options.shiftLowNotes = 1;
    } else if (change == "limit") {
        selection.options.lowerLimit = 62;
    } else if (change == "grow") {
        write(dir, twoChannelSong(2));
    } else if (change == "rig") {
        const Coil lead{"Lead", "Lead Coil", ChannelSet::of(2), {}, KeepMode::Highest, 0, {}, {}, 100, {}};
        selection.rig = std::make_shared<const Rig>(Rig{{lead}, {}});
    } else if (change == "coil") {
        selection.coil = "Other";
    } else if (change == "speed") {
        selection.speedPercent = 150;
    } else if (change == "settings") {
        std::string error;
        QVERIFY(writeSongSettings(songSettingsPath(*songFileHash(selection.path, error)), {{}, {}, 150, {}}, selection.path, error));
    } else if (change == "touch") {
        const auto path = std::filesystem::path(selection.path);
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(3));
    }
    QCOMPARE(source.cached(kind, selection) == first, stillCached);
    const auto fresh = computed(source, kind, selection);
    QVERIFY(fresh != nullptr);
    QCOMPARE(source.songsLoaded(), songsLoaded);
    QCOMPARE(recorder.charts, stillCached ? 1 : 2);
    // Once computed, the next paint needs nothing new.
    QCOMPARE(source.cached(kind, selection), fresh);
    QVERIFY(recorder.threads.at(0) != QThread::currentThread());
}

void ChartSourceTest::channelNotesAreComputedOnceOffTheGuiThread()
{
    QTemporaryDir dir;
    RecordingMakers recorder;
    ChartSource source(recorder.makers());
    PanelSelection selection{true, 0, write(dir, twoChannelSong(0)).toStdString(), {}, {}, {}, {}};
    selection.options.playChannel = 5;
    QSignalSpy ready(&source, &ChartSource::channelNotesReady);

    QCOMPARE(source.channelNotes(selection), std::nullopt);
    QVERIFY(ready.wait(10000));
    const std::string expected = "channel 5 of " + selection.path;
    QCOMPARE(ready.at(0).at(0).toString().toStdString(), expected);
    QCOMPARE(source.channelNotes(selection), std::optional(expected));
    QCOMPARE(recorder.channelTexts, 1);
    QVERIFY(recorder.threads.at(0) != QThread::currentThread());
    QCOMPARE(source.channelNotes(PanelSelection{false, 0, {}, {}, {}, {}, {}}), std::optional(std::string()));
}

// The duty chart and the channel text are asked for while the spectrum computes.
void ChartSourceTest::requestsMadeWhileOneComputesAreServedInTurn()
{
    QTemporaryDir dir;
    RecordingMakers recorder;
    ChartSource source(recorder.makers());
    const PanelSelection selection{true, 0, write(dir, twoChannelSong(3)).toStdString(), {}, {}, {}, {}};
    QSignalSpy ready(&source, &ChartSource::pictureReady);
    QSignalSpy text(&source, &ChartSource::channelNotesReady);
    source.compute(ChartKind::Spectrum, selection);
    source.compute(ChartKind::Duty, selection);
    QCOMPARE(source.channelNotes(selection), std::nullopt);
    QTRY_VERIFY_WITH_TIMEOUT(ready.count() == 2 && text.count() == 1, 10000);  // not a picture dropped for the text
    QCOMPARE(QList({ready.at(0).at(0).value<ChartKind>(), ready.at(1).at(0).value<ChartKind>()}), QList({ChartKind::Spectrum, ChartKind::Duty}));
    QVERIFY(source.cached(ChartKind::Spectrum, selection) && source.cached(ChartKind::Duty, selection));
}

QTEST_MAIN(ChartSourceTest)
#include "ChartSourceTest.moc"
