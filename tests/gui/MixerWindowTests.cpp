// The mixer window end to end: real widgets driven by real events, sends checked on a fake
// desk on loopback, and screenshots for people to look at.

// Core headers first: Qt's `emit` keyword macro must not reach them.
#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/ContentViewPresenter.h"
#include "Sonavant/ui/MixerFaderMaths.h"
#include "Sonavant/ui/MixerModel.h"
#include "Sonavant/ui/MixerWindowFrame.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "support/ShowFixtures.h"
#include "tools/FakeDesk.h"

#include "Sonavant/windows/MixerFaderWidget.h"
#include "Sonavant/windows/MixerRowWidget.h"
#include "Sonavant/windows/MixerViewWidget.h"
#include "Sonavant/windows/MixerWindow.h"
#include "Sonavant/windows/MixerWindowController.h"
#include "gui/GuiTestMain.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QToolButton>

#include <chrono>
#include <cmath>

using namespace std::chrono_literals;

namespace {

// Opens the mixer as the application's presenter does.
class MixerPresenter : public ContentViewPresenter {
public:
    void showMixerWindow(ContentView& view) override { MixerWindowController::shared().show(view); }
    void closeMixerWindow() override { MixerWindowController::shared().close(); }
};

MixingDesk testDesk() {
    MixingDesk d = support::acmeDesk({.oscFloat = false});
    d.displayName = "Acme 48 (test)";
    d.mixOSCSend = "/mix/{m}/in/{n}";
    d.mixOSCSendRange = DeskRangeTexts{"-90", "10"};
    return d;
}

float onlyFloat(const OSCMessage& message) {
    if (message.values().size() != 1 || !message.values()[0].is<float>())
        return std::nanf("");
    return *message.values()[0].as<float>();
}

} // namespace

class MixerWindowTests : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDesk> desk;
    std::shared_ptr<AppState> show;
    std::unique_ptr<ContentView> view;
    std::unique_ptr<QWidget> host; // stands for the main window, with the "Show Mixer" shortcut
    std::shared_ptr<SoundObject> input1, input2, mix9;

    MixerWindow* window() { return MixerWindowController::shared().window(); }
    MixerViewWidget* mixerView() { return window()->view(); }
    MixerRowWidget* row(std::int64_t id) { return mixerView()->row(id); }

    // The shortcut works from any window of the application, as a menu's does; after the
    // mixer closes, the main window is active again.
    void pressCtrlM() {
        if (!QApplication::activeWindow()) {
            host->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(host.get()));
        }
        QTest::keyClick(QApplication::activeWindow(), Qt::Key_M, Qt::ControlModifier);
    }

    void openMixer(bool withRows = true) {
        pressCtrlM();
        QTRY_VERIFY_WITH_TIMEOUT(MixerWindowController::shared().isOpen(), 5000);
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        if (withRows)
            QTRY_VERIFY_WITH_TIMEOUT(row(1) && row(1)->fader()->width() > 40, 5000);
    }

    // Drags a fader's thumb to `x` in the fader's coordinates; the last move may fall
    // between pixels, as a trackpad's does.
    void dragFader(MixerFaderWidget* fader, double x) {
        const QPoint thumb(int(std::lround(fader->thumbX())), fader->height() / 2);
        QTest::mousePress(fader, Qt::LeftButton, Qt::NoModifier, thumb);
        QTest::mouseMove(fader, QPoint(int((thumb.x() + x) / 2), thumb.y()));
        const QPointF to(x, thumb.y());
        QMouseEvent move(QEvent::MouseMove, to, fader->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(fader, &move);
        QTest::mouseRelease(fader, Qt::LeftButton, Qt::NoModifier, to.toPoint());
    }

    // Waits for the next datagram and checks it, so "nothing else was sent" is seen by what
    // arrives next rather than by waiting for silence.
    void expectNext(const std::string& address, float value) {
        QVERIFY(desk->waitForDatagrams(seen + 1, 5000ms));
        const auto messages = desk->messages();
        QCOMPARE(messages.size(), seen + 1);
        QCOMPARE(desk->addresses().back(), address);
        QCOMPARE(onlyFloat(messages.back()), value);
        ++seen;
    }
    std::size_t seen = 0;

    // How often `address` arrived carrying `value`.
    std::size_t arrivals(const std::string& address, float value) {
        const auto messages = desk->messages();
        const auto addresses = desk->addresses();
        std::size_t n = 0;
        for (std::size_t i = 0; i < messages.size() && i < addresses.size(); ++i)
            n += addresses[i] == address && onlyFloat(messages[i]) == value ? 1 : 0;
        return n;
    }
    // A drag's last level arrives twice: in the drag and once more after it.
    void waitForDragEnd(const std::string& address, float value) {
        QTRY_VERIFY_WITH_TIMEOUT(arrivals(address, value) >= 2, 5000);
    }

private slots:
    void init() {
        desk = std::make_unique<FakeDesk>(false);
        seen = 0;
        show = support::emptyShow();
        const MixingDesk d = testDesk();
        show->selectedDesk = d;
        input1 = support::inputAt(1, d, 0, 0, {});
        input2 = support::inputAt(2, d, 1, 0, {});
        mix9 = std::make_shared<SoundObject>("Mix", 9, d, 2, 0, 100.0, Point{});
        show->soundObjects = {input2, input1, mix9};
        std::vector<Speaker> speakers;
        for (std::int64_t id = 1; id <= 16; ++id) {
            Speaker s = support::mixSpeakerAt(id, d, std::cos(id * 0.39) * 6, std::sin(id * 0.39) * 6, {});
            speakers.push_back(s);
        }
        show->speakers = speakers;
        view = std::make_unique<ContentView>(show, Binding<std::string>("127.0.0.1"),
                                             Binding<std::string>(std::to_string(desk->udpPort())));
        view->presenter = std::make_shared<MixerPresenter>();

        host = std::make_unique<QWidget>();
        host->setWindowTitle("Sonavant");
        host->resize(300, 200);
        auto* showMixer = new QAction("Show Mixer", host.get());
        showMixer->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
        showMixer->setShortcutContext(Qt::ApplicationShortcut);
        connect(showMixer, &QAction::triggered, host.get(), [this] { view->openMixerWindow(); });
        host->addAction(showMixer);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    }

    void cleanup() {
        // The window goes before the view it was opened for.
        if (auto* w = window())
            delete w;
        host.reset();
        view.reset();
        desk.reset();
        platform::UserDefaults::standard().remove(MixerWindowFrame::defaultsKey);
    }

    void faderDragSendsTruncatedLevelAndLeftEndSendsSilence() {
        openMixer();
        QCOMPARE(show->selectedSoundObject.get(), input1); // the lowest number
        QCOMPARE(window()->windowTitle(), QString("Mixer"));
        QCOMPARE(window()->width(), 430);
        QCOMPARE(mixerView()->rowCount(), std::size_t(16));

        MixerFaderWidget* fader = row(1)->fader();
        const DeskRange range = fader->range();
        QCOMPARE(range.lower, -90.0);
        QCOMPARE(range.upper, 10.0);
        const double x = mixerfader::trackInset + (-12.7 + 90) / 100 * fader->trackLength();
        QVERIFY(std::abs(faderValueAt(x - mixerfader::trackInset, fader->trackLength(), range) + 12.7) <
                1e-9);
        dragFader(fader, x);
        // Every position of the drag is sent, and the last level once more when the drag has
        // ended, so the desk ends at the truncated -12 whatever order the sends arrived in.
        waitForDragEnd("/mix/1/in/1", -12.0f);
        QCOMPARE(onlyFloat(desk->messages().back()), -12.0f);
        for (const auto& address : desk->addresses())
            QCOMPARE(address, std::string("/mix/1/in/1"));
        for (const auto& message : desk->messages()) {
            QCOMPARE(message.values().size(), std::size_t(1));
            QVERIFY(message.values()[0].is<float>()); // a float, though the desk takes integers
        }
        QCOMPARE(show->mixerLevels->at(input1->id).at(1), -12.0);
        QVERIFY(!fader->isDragging());

        dragFader(fader, -40);
        waitForDragEnd("/mix/1/in/1", -90.0f);
        QCOMPARE(show->mixerLevels->at(input1->id).at(1), -90.0);

        // A press on the track away from the thumb starts nothing.
        desk->clear();
        QTest::mousePress(fader, Qt::LeftButton, Qt::NoModifier, QPoint(fader->width() - 5, 15));
        QTest::mouseRelease(fader, Qt::LeftButton, Qt::NoModifier, QPoint(fader->width() - 5, 15));
        QVERIFY(!fader->isDragging());
        dragFader(row(2)->fader(), fader->width()); // marker: the next send is fader 2's
        QVERIFY(desk->waitForDatagrams(1, 5000ms));
        QCOMPARE(desk->addresses().front(), std::string("/mix/2/in/1"));
    }

    void theThumbStepsThroughTheWholeNumbersSentDuringADrag() {
        openMixer();
        MixerFaderWidget* fader = row(1)->fader();
        const DeskRange range = fader->range();
        const double length = fader->trackLength();
        const QPoint thumb(int(std::lround(fader->thumbX())), 15);
        QTest::mousePress(fader, Qt::LeftButton, Qt::NoModifier, thumb);
        QSignalSpy dragged(fader, &MixerFaderWidget::valueDragged);
        // -12.2 lies in -12.7's step: that move sends nothing.
        for (double level : {-12.7, -12.2, -30.9, 4.5}) {
            // Between pixels, as a trackpad moves.
            const QPointF to(
                mixerfader::trackInset + (level - range.lower) / (range.upper - range.lower) * length, 15);
            QMouseEvent move(QEvent::MouseMove, to, fader->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(fader, &move);
            QVERIFY(fader->isDragging());
            const double sent = show->mixerLevels->at(input1->id).at(1);
            QCOMPARE(sent, std::trunc(level));
            QCOMPARE(fader->thumbX(), mixerfader::trackInset + faderPosition(sent, length, range));
        }
        QCOMPARE(dragged.count(), 3);
        QTest::mouseRelease(fader, Qt::LeftButton, Qt::NoModifier, thumb);
        waitForDragEnd("/mix/1/in/1", 4.0f);
    }

    void republishedLevelsNeitherEndADragNorRebuildRows() {
        openMixer();
        MixerRowWidget* first = row(1);
        MixerFaderWidget* fader = first->fader();
        const QPoint thumb(int(std::lround(fader->thumbX())), 15);
        QTest::mousePress(fader, Qt::LeftButton, Qt::NoModifier, thumb);
        QTest::mouseMove(fader, QPoint(fader->width() / 4, 15));
        QVERIFY(fader->isDragging());
        // The level engine republishes every pass.
        for (int pass = 0; pass < 5; ++pass) {
            auto levels = show->mixerLevels.get();
            for (std::int64_t id = 1; id <= 16; ++id)
                levels[input1->id][id] = -20.0 - id;
            show->mixerLevels = levels;
            QCoreApplication::processEvents();
        }
        QVERIFY(fader->isDragging());
        QCOMPARE(row(1), first);
        QCOMPARE(row(2)->fader()->value(), -22.0);
        QTest::mouseMove(fader, QPoint(fader->width() / 2, 15));
        QTest::mouseRelease(fader, Qt::LeftButton, Qt::NoModifier, QPoint(fader->width() / 2, 15));
        waitForDragEnd("/mix/1/in/1", -40.0f);
        QCOMPARE(show->mixerLevels->at(input1->id).at(1), -40.0);
    }

    void muteSendsSilenceOnceAndOutputOffSendsNothing() {
        openMixer();
        QToolButton* mute = row(3)->muteButton();
        QTest::mouseClick(mute, Qt::LeftButton);
        expectNext("/mix/3/in/1", -90.0f);
        QVERIFY(row(3)->fader()->value() == -90.0);
        QTest::mouseClick(mute, Qt::LeftButton); // unmuting sends nothing...
        dragFader(row(4)->fader(), row(4)->fader()->width());
        waitForDragEnd("/mix/4/in/1", 10.0f);
        for (std::size_t i = seen; i < desk->messages().size(); ++i) // ...so what came next is fader 4's
            QCOMPARE(desk->addresses()[i], std::string("/mix/4/in/1"));
        seen = desk->messages().size();

        // Output off: the banner shows and neither faders nor mutes send.
        QVERIFY(!mixerView()->warning()->isVisible());
        platform::LogCapture log;
        show->oscOutputOn = false;
        QTRY_VERIFY_WITH_TIMEOUT(mixerView()->warning()->isVisible(), 5000);
        QCOMPARE(mixerView()->warning()->text(),
                 QString("⚠️ OSC output is OFF — No messages will be sent."));
        dragFader(row(5)->fader(), 0);
        QTest::mouseClick(row(6)->muteButton(), Qt::LeftButton);
        QVERIFY(log.contains("OSC output is disabled."));
        QTRY_VERIFY_WITH_TIMEOUT(show->muteStates->at(input1->id).at(6), 5000);
        show->oscOutputOn = true;
        QTRY_VERIFY_WITH_TIMEOUT(!mixerView()->warning()->isVisible(), 5000);
        QTest::mouseClick(row(7)->muteButton(), Qt::LeftButton);
        expectNext("/mix/7/in/1", -90.0f);
    }

    void mixToMixSendsNothingAndSteppingStopsAtTheEnds() {
        show->selectedSoundObject = input2;
        openMixer();
        QCOMPARE(mixerView()->titleField()->text(), QString::fromStdString(input2->name));
        QTest::mouseClick(mixerView()->nextButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(mixerView()->titleField()->text(), QString::fromStdString(mix9->name),
                                  5000);
        QTest::mouseClick(mixerView()->nextButton(), Qt::LeftButton); // past the last: stays
        QCoreApplication::processEvents();
        QCOMPARE(show->selectedSoundObject.get(), mix9);

        platform::LogCapture log;
        dragFader(row(1)->fader(), row(1)->fader()->width() / 2);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("Skipping Mix to Mix case. No OSC message sent."), 5000);
        QTest::mouseClick(mixerView()->previousButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(show->selectedSoundObject.get(), input2, 5000);
        QTest::mouseClick(row(2)->muteButton(), Qt::LeftButton);
        expectNext("/mix/2/in/2", -90.0f); // the first datagram of the test: mix to mix sent none
    }

    void noSourcesShowsNoSelection() {
        show->soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
        openMixer(false);
        QVERIFY(mixerView()->noSelectionTitle()->isVisible());
        QCOMPARE(mixerView()->noSelectionTitle()->text(), QString("NO SELECTION"));
        QVERIFY(mixerView()->emptyListText()->isVisible());
        QCOMPARE(mixerView()->emptyListText()->text(), QString("No sound object selected."));
        QCOMPARE(mixerView()->rowCount(), std::size_t(0));
        QTest::mouseClick(mixerView()->nextButton(), Qt::LeftButton);
        QCOMPARE(show->selectedSoundObject.get(), nullptr);
        guitest::saveScreenshot(*window(), "mixer-no-selection");
    }

    void oneWindowReopenedAtItsSavedFrame() {
        openMixer();
        QPointer<MixerWindow> first = window();
        // First opening: the top right of the screen.
        const QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(first->frameGeometry().topLeft(),
                 QPoint(visible.x() + visible.width() - 450, visible.y() + 40));
        QCOMPARE(first->size(), QSize(430, 300));

        pressCtrlM();
        QCoreApplication::processEvents();
        QCOMPARE(window(), first.data());
        QVERIFY(first->isVisible());
        int mixers = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            mixers += qobject_cast<MixerWindow*>(w) ? 1 : 0;
        QCOMPARE(mixers, 1);

        // Moved and resized: the frame is kept at once; the width stays fixed.
        first->move(123, 77);
        first->resize(900, 520);
        QTRY_COMPARE_WITH_TIMEOUT(first->size(), QSize(430, 520), 5000);
        const QRect kept = first->geometry();
        auto stored = [] {
            return platform::UserDefaults::standard().string(MixerWindowFrame::defaultsKey).value_or("");
        };
        const std::string keptText =
            MixerWindowFrame{double(kept.x()), double(kept.y()), double(kept.width()), double(kept.height())}
                .text();
        QTRY_COMPARE_WITH_TIMEOUT(stored(), keptText, 5000);

        // Closed and opened again: a new window at the kept frame.
        first->close();
        QVERIFY(!MixerWindowController::shared().isOpen());
        pressCtrlM();
        QTRY_VERIFY_WITH_TIMEOUT(MixerWindowController::shared().isOpen(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 5000);
        QCOMPARE(window()->geometry(), kept);
    }

    void soundScapeModeClosesTheMixerOnly() {
        show->isSoundScapeMode = true;
        pressCtrlM();
        QTRY_VERIFY_WITH_TIMEOUT(window() != nullptr, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!MixerWindowController::shared().isOpen(), 5000);
        QVERIFY(host->isVisible());
    }

    void presenterCloseClosesTheWindow() {
        openMixer();
        view->presenter->closeMixerWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!MixerWindowController::shared().isOpen(), 5000);
    }

    void renamingFromTheMixer() {
        openMixer();
        platform::LogCapture log;
        QLineEdit* title = mixerView()->titleField();
        QVERIFY(!title->hasFocus()); // opening focuses no field
        QTest::mouseClick(title, Qt::LeftButton);
        title->selectAll();
        QTest::keyClicks(title, "Lead vocal");
        QCOMPARE(input1->name.get(), std::string("Lead vocal"));
        QTest::keyClick(title, Qt::Key_Return);
        QVERIFY(!title->hasFocus());
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("✅ App state saved successfully."), 5000);

        QLineEdit* name = row(3)->nameField();
        QTest::mouseClick(name, Qt::LeftButton);
        name->selectAll();
        QTest::keyClicks(name, "Stage L");
        show->mixerLevels = PerSourcePerSpeaker<double>{{input1->id, {{3, -6.0}}}}; // a level pass
        QTRY_COMPARE_WITH_TIMEOUT(row(3)->fader()->value(), -6.0, 5000);
        QCOMPARE(name->text(), QString("Stage L"));
        QCOMPARE(show->speakers->at(2).displayName, std::string("Stage L"));
        // Stepping shows the next source's name even while the title was being edited.
        QTest::mouseClick(title, Qt::LeftButton);
        QTest::mouseClick(mixerView()->nextButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(title->text(), QString::fromStdString(input2->name), 5000);
    }

    void theWindowOutlivesTheViewSafely() {
        openMixer();
        view.reset(); // the save action now does nothing; sends still reach the desk
        QTest::mouseClick(row(5)->muteButton(), Qt::LeftButton);
        expectNext("/mix/5/in/1", -90.0f);
    }

    void screenshots() {
        openMixer();
        window()->resize(430, 900);
        PerSourcePerSpeaker<double> levels;
        for (std::int64_t id = 1; id <= 16; ++id)
            levels[input1->id][id] = -90.0 + double((id * 37) % 100);
        show->mixerLevels = levels;
        QTest::mouseClick(row(4)->muteButton(), Qt::LeftButton);
        QTest::mouseClick(row(9)->freezeButton(), Qt::LeftButton);
        QVERIFY(show->freezeStates->at(input1->id).at(9));
        QVERIFY(show->muteStates->at(input1->id).at(4));
        // Rows update on the next turn of the event loop.
        QTRY_COMPARE_WITH_TIMEOUT(row(2)->fader()->value(), levels[input1->id][2], 5000);
        QTRY_VERIFY_WITH_TIMEOUT(row(9)->freezeButton()->styleSheet().contains("background: #"), 5000);
        QCOMPARE(row(4)->fader()->value(), -90.0);
        guitest::saveScreenshot(*window(), "mixer-16-speakers-muted-frozen");

        show->oscOutputOn = false;
        QTRY_VERIFY_WITH_TIMEOUT(mixerView()->warning()->isVisible(), 5000);
        QCoreApplication::processEvents();
        guitest::saveScreenshot(*window(), "mixer-output-off");
    }
};

SONAVANT_GUI_TEST_MAIN(MixerWindowTests)
#include "MixerWindowTests.moc"
