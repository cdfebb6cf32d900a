// The settings window with real widgets over a started main view: one window whatever
// opens it, the network fields moving the remote-control inlet and the desk output on
// loopback, the general page's pan law and SoundScape states, and the background page's
// rotation, scale and floor-plan file. Also renders every page in both modes.

#include "gui/ShellTestSupport.h"

#include "Sonavant/OSC/OSCReceiver.h"
#include "Sonavant/OSC/PersistentTCPClient.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/windows/SettingsBackgroundView.h"
#include "Sonavant/windows/SettingsGeneralView.h"
#include "Sonavant/windows/SettingsNetworkView.h"
#include "Sonavant/windows/SettingsWindowController.h"
#include "Sonavant/windows/SettingsWindowControllerHolder.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "tools/FakeDesk.h"

#include "gui/GuiTestMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <chrono>
#include <map>

using namespace std::chrono_literals;

namespace {

constexpr int deadline = 10000;

template <class T> T* child(QWidget* parent, const char* name) {
    auto* found = parent->findChild<T*>(name);
    if (!found)
        qWarning("no child %s", name);
    return found;
}

// On the box itself: a check box's label does not reach across its whole row.
void clickBox(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

// Replaces the field's text by typing, one keystroke at a time.
void retype(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

} // namespace

class SettingsWindowTests : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<AppState> show;
    std::unique_ptr<ContentView> view;
    std::unique_ptr<FakeDesk> desk;

    SettingsWindowController* window() { return SettingsWindowControllerHolder::shared().windowController(); }

    // The way the tool row opens the window: the view's bindings and an immediate resend.
    void openFromToolRow() {
        SettingsWindowControllerHolder::shared().show(*view);
        QVERIFY(window());
        QVERIFY(QTest::qWaitForWindowExposed(window()));
    }

    void startOn(std::uint16_t deskPort, MixingDesk deskDefinition = guitest::acme32()) {
        view = guitest::startView(show, deskPort, "0", std::move(deskDefinition));
        QTRY_VERIFY_WITH_TIMEOUT(ActionDispatcher::updateOSC != nullptr && view->oscReceiver, deadline);
    }

private slots:
    void init() {
        ActionDispatcher::reset();
        AppState::clearHistory();
        show = guitest::oneInputShow();
        desk = std::make_unique<FakeDesk>(false);
    }

    void cleanup() {
        SettingsWindowControllerHolder::shared().reset();
        view.reset();
        desk.reset();
        ActionDispatcher::reset();
    }

    void oneWindowReopensOnTheSectionLastShown() {
        startOn(desk->udpPort());
        int resends = 0;
        SettingsWindowControllerHolder::shared().show(show, view->targetDeskIP, view->targetPort,
                                                      view->showZeroPoint, [&] { ++resends; });
        auto* first = window();
        QVERIFY(first);
        QVERIFY(QTest::qWaitForWindowExposed(first));
        QCOMPARE(first->windowTitle(), QString("Settings"));
        QCOMPARE(first->selection(), std::optional(SettingsSection::general));
        QCOMPARE(first->size(),
                 QSize(SettingsWindowController::windowWidth, SettingsWindowController::windowHeight));
        QCOMPARE(first->minimumSize(), first->maximumSize()); // not resizable

        QStringList sections;
        for (int i = 0; i < first->sidebar()->count(); ++i)
            sections << first->sidebar()->item(i)->text();
        QCOMPARE(sections, (QStringList{"General", "Network", "Background"}));

        // The operator picks Network, then closes.
        const QRect networkRow = first->sidebar()->visualItemRect(first->sidebar()->item(1));
        QTest::mouseClick(first->sidebar()->viewport(), Qt::LeftButton, {}, networkRow.center());
        QCOMPARE(first->selection(), std::optional(SettingsSection::network));
        QTest::mouseClick(first->closeButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!first->isVisible(), deadline);

        // Again, the other way: the same window, the same section, the first call's action.
        openFromToolRow();
        QCOMPARE(window(), first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->selection(), std::optional(SettingsSection::network));
        first->select(SettingsSection::general);
        auto* mode = child<QComboBox>(first, "panningMode");
        mode->setFocus();
        QTest::keyClick(mode, Qt::Key_Up);
        QCOMPARE(resends, 1);

        // No entry selected.
        first->select(std::nullopt);
        QCOMPARE(first->selection(), std::nullopt);
    }

    void receivePortFieldMovesTheRemoteInlet() {
        startOn(desk->udpPort());
        const std::uint16_t oldPort = view->oscReceiver->localPort();
        auto source = show->soundObjects.get().at(0);
        openFromToolRow();
        window()->select(SettingsSection::network);
        auto* field = child<QLineEdit>(window(), "receivePort");
        QCOMPARE(field->text(), QString("0"));

        std::uint16_t newPort = 0;
        for (int attempt = 0; attempt < 20 && newPort < 10000; ++attempt)
            newPort = guitest::freeUdpPort();
        QVERIFY(newPort >= 10000);
        retype(field, QString::number(newPort));
        QCOMPARE(show->receivePort.get(), std::to_string(newPort));
        QTRY_VERIFY_WITH_TIMEOUT(view->oscReceiver && view->oscReceiver->localPort() == newPort, deadline);

        desk->send(newPort, OSCMessage("/sonavant/track/1", {OSCValue(std::int32_t{2}), OSCValue(1.5f)}));
        QTRY_COMPARE_WITH_TIMEOUT(source->positionMeters.get(), (Point{2, 1.5}), deadline);
        // The old inlet is closed: its port is free for anyone.
        QTRY_VERIFY_WITH_TIMEOUT(guitest::udpPortIsFree(oldPort), deadline);

        // Ports set elsewhere (a desk chosen in the top bar sets both) show at once.
        view->targetPort = std::string("10023");
        show->receivePort = std::to_string(newPort + 1);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLineEdit>(window(), "targetPort")->text(), QString("10023"),
                                  deadline);
        QTRY_COMPARE_WITH_TIMEOUT(field->text(), QString::number(newPort + 1), deadline);
        show->receivePort = std::to_string(newPort);
        QTRY_VERIFY_WITH_TIMEOUT(view->oscReceiver && view->oscReceiver->localPort() == newPort, deadline);

        // Deleting the text leaves no receiver and says so; nothing blocks.
        platform::LogCapture log;
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("⚠️ Invalid port entered: "), deadline);
        QTRY_VERIFY_WITH_TIMEOUT(guitest::udpPortIsFree(newPort), deadline);
    }

    void deskFieldsRedirectTheLevelsAndThePanningModeResendsThem() {
        FakeDesk other(false);
        startOn(other.udpPort());
        QTRY_VERIFY_WITH_TIMEOUT(other.datagramCount() >= 1, deadline);
        openFromToolRow();
        window()->select(SettingsSection::network);

        // An address that is no IPv4 address while the operator types: nothing crashes or waits.
        auto* address = child<QLineEdit>(window(), "targetDeskIP");
        QCOMPARE(address->text(), QString("127.0.0.1"));
        retype(address, "desk.local x");
        QCOMPARE(view->targetDeskIP.get(), std::string("desk.local x"));
        bool ran = false;
        platform::DispatchQueue::main()->async([&] { ran = true; });
        QTRY_VERIFY_WITH_TIMEOUT(ran, deadline);
        retype(address, "127.0.0.1");

        auto* port = child<QLineEdit>(window(), "targetPort");
        retype(port, QString::number(desk->udpPort()));
        QCOMPARE(view->targetPort.get(), std::to_string(desk->udpPort()));

        // The next level goes to the new port.
        auto source = show->soundObjects.get().at(0);
        desk->clear();
        other.clear();
        FakeDesk remote(false);
        remote.send(view->oscReceiver->localPort(),
                    OSCMessage("/sonavant/track/1", {OSCValue(std::int32_t{3}), OSCValue(2.0f)}));
        QTRY_VERIFY_WITH_TIMEOUT(desk->datagramCount() >= 1, deadline);
        QCOMPARE(other.datagramCount(), std::size_t(0));

        // A new panning mode changes levels, which are sent at once.
        window()->select(SettingsSection::general);
        const std::size_t before = desk->datagramCount();
        auto* mode = child<QComboBox>(window(), "panningMode");
        mode->setFocus();
        QTest::keyClick(mode, Qt::Key_Up);
        QCOMPARE(show->panningMode.get(), PanningMode::power);
        QTRY_VERIFY_WITH_TIMEOUT(desk->datagramCount() > before, deadline);
    }

    // The operator types another desk port 100 ms a key: once it rests, the desk there gets
    // every level the program sent on first connect, and the old desk keeps its own.
    void aTypedDeskPortGetsEveryLevelOnceItRests_data() {
        QTest::addColumn<bool>("udp");
        QTest::newRow("UDP desk") << true;
        QTest::newRow("TCP desk") << false;
    }
    void aTypedDeskPortGetsEveryLevelOnceItRests() {
        QFETCH(bool, udp);
        // No link, and no debt of one, left by an earlier case.
        disconnectTCP();
        PersistentTCPClient::forgetMissedLines();
        FakeDesk before(!udp), after(!udp);
        MixingDesk definition = guitest::acme32();
        definition.UDP = udp;
        auto portOf = [udp](const FakeDesk& d) { return udp ? d.udpPort() : d.tcpPort(); };
        // The last value per address, as the desk holds it.
        auto held = [udp](const FakeDesk& d) {
            std::map<std::string, std::string> last;
            if (udp) {
                const auto addresses = d.addresses();
                const auto messages = d.messages();
                for (std::size_t i = 0; i < messages.size(); ++i)
                    last[addresses[i]] = messages[i].description();
            } else {
                for (const auto& line : d.lines())
                    last[line.text.substr(0, line.text.find(' '))] = line.text;
            }
            return last;
        };
        auto received = [udp](const FakeDesk& d) { return udp ? d.datagramCount() : d.lineCount(); };

        startOn(portOf(before), definition);
        QTRY_COMPARE_WITH_TIMEOUT(held(before).size(), std::size_t(2), deadline);
        const auto levels = held(before);
        const std::size_t sentBefore = received(before);
        openFromToolRow();
        window()->select(SettingsSection::network);
        auto* field = child<QLineEdit>(window(), "targetPort");
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        const QString typed = QString::number(portOf(after));
        for (QChar key : typed) {
            QTest::keyClick(field, key.toLatin1());
            QTest::qWait(100);
        }
        QCOMPARE(view->targetPort.get(), typed.toStdString());

        QTRY_COMPARE_WITH_TIMEOUT(held(after), levels, deadline);
        // One round for the rested port (the numbers on the way have their own test, on the
        // loop's clock); the old desk is no longer driven.
        QTRY_VERIFY_WITH_TIMEOUT(!view->destinationRestPending(), deadline);
        QCOMPARE(received(after), std::size_t(2));
        QCOMPARE(received(before), sentBefore);
        if (!udp)
            disconnectTCP();
    }

    void generalPageGreysLoudspeakerDisplayInSoundScapeAndFollowsTheAreas() {
        openFromToolRowWithoutView();
        auto* w = window();
        auto* range = child<QCheckBox>(w, "showRangeCircle");
        auto* grid = child<QCheckBox>(w, "showGrid");
        auto* focus = child<QCheckBox>(w, "showSpeakerFocus");
        auto* coverage = child<QCheckBox>(w, "showSpeakerCoverage");
        auto* stepper = w->findChild<QWidget*>("coverageWidthStepper");
        auto* audience = child<QCheckBox>(w, "audienceAwarePanLaw");
        auto* hint = child<QLabel>(w, "defineAreaHint");
        QVERIFY(range->isEnabled() && focus->isEnabled() && coverage->isEnabled() && stepper->isEnabled());
        QVERIFY(!audience->isEnabled());
        QVERIFY(!hint->isHidden());

        // The width stepper: from 70 one step up is 75, shown as 75°.
        QTest::mouseClick(stepper->findChild<QToolButton*>("stepUp"), Qt::LeftButton);
        QCOMPARE(show->defaultSpeakerWidth.get(), 75.0);

        show->isSoundScapeMode = true;
        QTRY_VERIFY_WITH_TIMEOUT(!range->isEnabled(), deadline);
        QVERIFY(!focus->isEnabled() && !coverage->isEnabled() && !stepper->isEnabled());
        QVERIFY(grid->isEnabled());
        clickBox(grid);
        QVERIFY(show->showGrid.get());

        AudienceArea area;
        area.name = "Audience";
        show->audienceAreas = std::vector{area};
        QTRY_VERIFY_WITH_TIMEOUT(audience->isEnabled() && hint->isHidden(), deadline);
        clickBox(audience);
        QVERIFY(show->audienceAwarePanLaw.get());
        QCOMPARE(panLawCalls, 1);

        // The last area goes: the switch turns off, once.
        show->audienceAreas = std::vector<AudienceArea>{};
        QTRY_VERIFY_WITH_TIMEOUT(!show->audienceAwarePanLaw.get(), deadline);
        QTRY_VERIFY_WITH_TIMEOUT(!audience->isEnabled() && !audience->isChecked(), deadline);
        QCOMPARE(panLawCalls, 2);
    }

    void backgroundPageRotationScaleAndFloorPlan() {
        openFromToolRowWithoutView();
        auto* w = window();
        w->select(SettingsSection::background);
        auto* rotation = child<QLineEdit>(w, "rotation");
        QCOMPARE(rotation->text(), QString("0"));

        retype(rotation, "400");
        QTest::keyClick(rotation, Qt::Key_Return);
        QCOMPARE(show->backgroundImageRotation.get(), 180.0);
        QCOMPARE(rotation->text(), QString("180"));
        retype(rotation, "12.5");
        QTest::keyClick(rotation, Qt::Key_Return);
        QCOMPARE(show->backgroundImageRotation.get(), 180.0);
        QCOMPARE(rotation->text(), QString("180"));
        retype(rotation, "-400");
        QTest::keyClick(rotation, Qt::Key_Return);
        QCOMPARE(show->backgroundImageRotation.get(), -180.0);

        // Set elsewhere, shown truncated; a double click on the row resets it.
        show->backgroundImageRotation = 45.9;
        QTRY_COMPARE_WITH_TIMEOUT(rotation->text(), QString("45"), deadline);
        QCOMPARE(child<QSlider>(w, "rotationSlider")->value(), 46);
        QTest::mouseDClick(rotation, Qt::LeftButton);
        QCOMPARE(show->backgroundImageRotation.get(), 0.0);
        QCOMPARE(rotation->text(), QString("0"));

        // Scale: two decimals; zero, negative and not-a-number are refused.
        auto* scale = child<QLineEdit>(w, "scale");
        QCOMPARE(scale->text(), QString("1.00"));
        for (const char* refused : {"0", "-2", "nan", "inf", "abc"}) {
            retype(scale, refused);
            QTest::keyClick(scale, Qt::Key_Return);
            QCOMPARE(show->backgroundImageScale.get(), 1.0);
            QCOMPARE(scale->text(), QString("1.00"));
        }
        retype(scale, "2.5");
        QTest::keyClick(scale, Qt::Key_Return);
        QCOMPARE(show->backgroundImageScale.get(), 2.5);
        QCOMPARE(scale->text(), QString("2.50"));
        QTest::mouseClick(w->findChild<QWidget*>("scaleStepper")->findChild<QToolButton*>("stepUp"),
                          Qt::LeftButton);
        QCOMPARE(show->backgroundImageScale.get(), 2.6);

        // Offsets.
        auto* offsetX = child<QLineEdit>(w, "offsetX");
        retype(offsetX, "-12");
        QTest::keyClick(offsetX, Qt::Key_Return);
        QCOMPARE(show->backgroundImageOffset.get().x, -12.0);

        // Rotation text never committed with Return is dropped when the page comes back; a
        // number field commits when the operator leaves it.
        retype(rotation, "77");
        retype(scale, "9");
        w->select(SettingsSection::general);
        w->select(SettingsSection::background);
        QCOMPARE(rotation->text(), QString("0"));
        QCOMPARE(show->backgroundImageRotation.get(), 0.0);
        QCOMPARE(show->backgroundImageScale.get(), 9.0);
        QCOMPARE(scale->text(), QString("9.00"));

        // A floor plan in a folder with a space: stored percent-encoded, previewed, switch untouched.
        const QString folder = QDir::homePath() + "/Floor Plans";
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + "/main stage.png";
        QImage plan(200, 100, QImage::Format_RGB32);
        plan.fill(QColor(30, 90, 160));
        QVERIFY(plan.save(file));
        w->backgroundView()->chooseImageFile = [file] {
            return std::optional(std::filesystem::path(file.toStdString()));
        };
        QTest::mouseClick(child<QPushButton>(w, "chooseImage"), Qt::LeftButton);
        const std::string expected =
            "file://" + QDir::homePath().toStdString() + "/Floor%20Plans/main%20stage.png";
        QCOMPARE(show->backgroundImageURL.get(), std::optional(expected));
        QVERIFY(!show->showBackgroundImage.get());
        QTRY_VERIFY_WITH_TIMEOUT(!child<QWidget>(w, "backgroundImagePreview")->isHidden(), deadline);
        QCOMPARE(child<QLabel>(w, "backgroundImagePath")->text(), QString::fromStdString(expected));

        // A cancelled chooser changes nothing.
        w->backgroundView()->chooseImageFile = [] { return std::optional<std::filesystem::path>(); };
        QTest::mouseClick(child<QPushButton>(w, "chooseImage"), Qt::LeftButton);
        QCOMPARE(show->backgroundImageURL.get(), std::optional(expected));
    }

    void screenshotsOfEveryPageInBothModes() {
        show->audienceAreas = std::vector<AudienceArea>{};
        const QString home = QDir::homePath();
        QImage plan(300, 150, QImage::Format_RGB32);
        plan.fill(QColor(60, 60, 70));
        QPainter painter(&plan);
        painter.setPen(QPen(Qt::white, 3));
        painter.drawRect(20, 20, 260, 110);
        painter.drawLine(20, 75, 280, 75);
        painter.end();
        QVERIFY(plan.save(home + "/plan.png"));
        show->backgroundImageURL = "file://" + home.toStdString() + "/plan.png";
        openFromToolRowWithoutView();
        auto* w = window();
        // Each page draws its title, each group box its symbol beside its title.
        const std::vector<std::pair<QWidget*, QStringList>> pages{
            {w->generalView(),
             {"Display Options", "Zero Point", "Orientation", "Speaker Display", "Panning Law"}},
            {w->networkView(), {"Desk Connection"}},
            {w->backgroundView(), {"Background Image"}}};
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const auto& [page, groups] = pages[i];
            QCOMPARE(child<QLabel>(page, "pageTitle")->text(),
                     QString::fromUtf8(rawValue(allSettingsSections[i]).data()));
            QStringList titles;
            for (QLabel* title : page->findChildren<QLabel*>("groupTitle")) {
                titles << title->text();
                auto* symbol = title->parentWidget()->findChild<QLabel*>("groupSymbol");
                QVERIFY(symbol && !symbol->pixmap().isNull());
                QVERIFY(guitest::isNonBlank(symbol->pixmap().toImage()));
            }
            QCOMPARE(titles, groups);
        }
        for (bool soundScape : {false, true}) {
            show->isSoundScapeMode = soundScape;
            for (auto section : allSettingsSections) {
                w->select(section);
                QCoreApplication::processEvents();
                QVERIFY(QTest::qWaitForWindowExposed(w));
                const QString name = QString("settings-%1-%2")
                                         .arg(QString::fromUtf8(rawValue(section).data()).toLower())
                                         .arg(soundScape ? "soundscape" : "normal");
                guitest::saveScreenshot(*w, name);
            }
        }
    }

private:
    int panLawCalls = 0;
    Binding<std::string> address{"127.0.0.1"}, port{"49900"};
    Binding<bool> zeroPoint{true};

    void openFromToolRowWithoutView() {
        panLawCalls = 0;
        SettingsWindowControllerHolder::shared().show(show, address, port, zeroPoint,
                                                      [this] { ++panLawCalls; });
        QVERIFY(window());
        QVERIFY(QTest::qWaitForWindowExposed(window()));
    }
};

SONAVANT_GUI_TEST_MAIN(SettingsWindowTests)
#include "SettingsWindowTests.moc"
