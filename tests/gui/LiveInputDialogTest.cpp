#include "GuiTestSupport.h"

#include "app/LiveInputDialog.h"
#include "midiin/MidiInputService.h"
#include "playback/PlaybackObserver.h"

#include <QComboBox>
#include <QLabel>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Two keyboards that deliver on the caller's thread and tell of their going.
class TwoKeyboards final : public MidiInputService {
public:
    int deviceCount() override { return 2; }
    std::string productName(int device) override { return "Keys " + std::to_string(device); }
    bool open(int device, MidiInputSink& sink) override
    {
        const std::lock_guard lock(m_mutex);
        m_sinks[device] = &sink;
        return true;
    }
    void close(int device) override
    {
        const std::lock_guard lock(m_mutex);
        m_sinks[device] = nullptr;
        m_closed.notify_all();
    }
    bool connected(int device) override { return !m_gone[device].load(); }
    bool realtime(int) override { return false; }
    bool tellsOfChanges(int) override { return true; }

    bool isOpen(int device)
    {
        const std::lock_guard lock(m_mutex);
        return m_sinks[device] != nullptr;
    }
    // Takes `device` away and waits until its session has closed it.
    bool unplug(int device)
    {
        std::unique_lock lock(m_mutex);
        m_gone[device].store(true);
        m_sinks[device]->changed();
        return m_closed.wait_for(lock, std::chrono::seconds(5), [&] { return m_sinks[device] == nullptr; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_closed;
    MidiInputSink* m_sinks[2] = {nullptr, nullptr};
    std::atomic<bool> m_gone[2] = {false, false};
};

class Statuses final : public PlaybackObserver {
public:
    void statusText(const std::string&) override {}
    void progress(int) override {}
};

}  // namespace

class LiveInputDialogTest : public QObject {
    Q_OBJECT

private slots:
    void lateEndOfAnEarlierSessionLeavesTheNewerOneForwarding();
};

void LiveInputDialogTest::lateEndOfAnEarlierSessionLeavesTheNewerOneForwarding()
{
    Panel panel(devicesWithController(1, 0));
    TwoKeyboards keyboards;
    Statuses statuses;
    LiveInputDialog dialog(panel.state(), statuses, keyboards, 40);
    QVERIFY(keyboards.isOpen(0));
    // The first session ends on its own; its end is queued, not yet seen.
    QVERIFY(keyboards.unplug(0));
    auto* inputBox = dialog.findChild<QComboBox*>("inputBox");
    inputBox->setCurrentIndex(1);
    emit inputBox->activated(1);
    QVERIFY(keyboards.isOpen(1));
    QCoreApplication::processEvents();
    QVERIFY2(keyboards.isOpen(1), "the first session's end stopped the second");
    QCOMPARE(dialog.findChild<QLabel*>("noteLine")->text(), QString("No note played yet"));
}

QTEST_MAIN(LiveInputDialogTest)
#include "LiveInputDialogTest.moc"
