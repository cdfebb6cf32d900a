// A TCP desk that comes back gets every level, every time. The built program drives a fake
// TCP desk on loopback, its link check shortened to one second; the desk drops its client
// and refuses connections while a remote move changes a level, twice, then refuses for
// several checks. After each return the desk's last line per address must hold the levels
// the program sent for that position over a healthy link. Between returns, refreshes of the
// healthy link send nothing.

#include "Sonavant/engine/ContentView.h"
#include "Sonavant/model/AppState.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "Sonavant/model/MixingDeskRoot.h"
#include "Sonavant/model/SoundObject.h"
#include "Sonavant/model/Speaker.h"
#include "gui/GuiTestMain.h"
#include "platform/Files.h"
#include "platform/Serialization.h"
#include "support/Loopback.h"
#include "support/ShowFixtures.h"
#include "tools/FakeDesk.h"

#include "crash/ProgramUnderTest.h"

#include <map>

using namespace programtest;

namespace {

// Address (the line up to its last space) to value.
using Levels = std::map<std::string, std::string>;

std::size_t count(const std::string& text, const std::string& fragment) {
    std::size_t n = 0;
    for (auto at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1))
        ++n;
    return n;
}

MixingDesk shippedDesk(const std::string& displayName) {
    for (const auto& desk : MixingDeskRoot::readFile(*mixingDesksResourcePath()).mixingDesks)
        if (desk.displayName == displayName)
            return desk;
    return {};
}

constexpr const char* restored = "TCP link to the desk is ready again; sending every level once.";
constexpr const char* failed = "PersistentTCPClient: Connection failed with error ";
constexpr const char* constructed = "Constructed TCP message: ";

} // namespace

class DeskLinkTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(programtest::prepareHomes("sonavant-desk-link", homes_), "SONAVANT_APP names no program");
    }

    void cleanupTestCase() { programtest::removeHomes(homes_, QTest::currentTestFailed()); }

    void aTCPDeskThatComesBackGetsEveryLevelEveryTime() {
        FakeDesk desk(true);
        const std::uint16_t receivePort = support::freeUdpPort();
        const Home home = Home::make(homes_, "tcp-desk");
        const MixingDesk cl5 = shippedDesk("Yamaha CL5 (TCP)");
        QVERIFY(!cl5.UDP);

        // Input 1 between mixes 1 and 2; output on, the CL5 at loopback.
        auto show = support::emptyShow({.imageScale = 1.0});
        show->selectedDesk = cl5;
        show->speakers = std::vector{Speaker(1, 1.0, 2.0, 70.0, 100.0, {0, 600}, 1, "Mix", cl5),
                                     Speaker(2, 4.0, 2.0, 70.0, 100.0, {0, 600}, 2, "Mix", cl5)};
        show->soundObjects =
            std::vector{std::make_shared<SoundObject>("Input", 1, cl5, 1.5, 2.5, 100.0, Point{0, 600})};
        show->receivePort = std::to_string(receivePort);
        platform::writeFileAtomically(home.autosave(),
                                      AppStatePersistence::encodeState(*show, home.autosave()));
        {
            platform::UserDefaults defaults(home.config());
            const std::string deskJSON = platform::writeJSON(cl5.encode());
            defaults.set("savedSelectedDesk",
                         platform::Value(platform::Bytes(deskJSON.begin(), deskJSON.end())));
            defaults.set("savedOscOutputOn", true);
            seedWorkingState(defaults, desk.tcpPort(), receivePort);
        }

        Program program(home, "program");
        QVERIFY(program.start("3600", {std::string(ContentView::linkCheckIntervalVariable) + "=1"}));
        auto move = [&](float x, float y) {
            desk.send(receivePort, OSCMessage("/sonavant/track/1", {OSCValue(x), OSCValue(y)}));
        };
        auto logCount = [&](const char* fragment) { return count(program.log(), fragment); };

        // The levels the program sends over a healthy link, at the start and at a second place.
        QVERIFY2(waitUntil([&] { return desk.lastValuePerAddress().size() == 2; }), program.log().c_str());
        const Levels atStart = desk.lastValuePerAddress();
        move(3.5f, 2.0f);
        QVERIFY2(waitUntil([&] {
                     const auto now = desk.lastValuePerAddress();
                     return now.size() == 2 && now.begin()->second != atStart.begin()->second &&
                            now.rbegin()->second != atStart.rbegin()->second;
                 }),
                 program.log().c_str());
        QVERIFY(waitUntil([&] { return desk.lineCount() == 4; }));
        const Levels atSecond = desk.lastValuePerAddress();
        move(1.5f, 2.5f);
        QVERIFY(waitUntil([&] { return desk.lastValuePerAddress() == atStart; }));

        // Healthy refreshes: closed and opened again, nothing sent.
        const std::size_t healthyLines = desk.lineCount();
        const std::size_t accepted = desk.acceptedConnections();
        QVERIFY(desk.waitForConnections(accepted + 2, 30s));
        QCOMPARE(desk.lineCount(), healthyLines);
        QCOMPARE(logCount(restored), std::size_t(0));

        // The desk drops its client and refuses while the level changes; when it listens again
        // the link check reconnects and the desk gets what the program has.
        auto awayWhileMoving = [&](float x, float y, std::size_t refusedChecks) {
            const std::size_t failures = logCount(failed);
            const std::size_t lines = logCount(constructed);
            desk.dropConnections();
            desk.stopListening();
            QVERIFY(waitUntil([&] { return logCount(failed) > failures; }));
            move(x, y);
            QVERIFY(waitUntil([&] { return logCount(constructed) >= lines + 2; }));
            const std::size_t afterMove = logCount(failed);
            QVERIFY(waitUntil([&] { return logCount(failed) >= afterMove + refusedChecks; }));
            QVERIFY(desk.resumeListening());
        };
        for (const auto& [round, place, expected] : {std::tuple{1, std::pair{3.5f, 2.0f}, atSecond},
                                                     std::tuple{2, std::pair{1.5f, 2.5f}, atStart}}) {
            awayWhileMoving(place.first, place.second, 1);
            if (QTest::currentTestFailed())
                return;
            QVERIFY2(
                waitUntil([&] { return desk.lastValuePerAddress() == expected; }),
                ("return " + std::to_string(round) + " left the desk behind:\n" + program.log()).c_str());
            // The console is written behind: wait for it.
            QVERIFY(waitUntil([&] { return logCount(restored) == std::size_t(round); }));
        }
        // Away for several checks.
        awayWhileMoving(3.5f, 2.0f, 4);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(waitUntil([&] { return desk.lastValuePerAddress() == atSecond; }), program.log().c_str());
        QVERIFY(waitUntil([&] { return logCount(restored) == 3; }));

        // Caught up, the healthy link's refreshes send nothing more.
        QVERIFY(waitUntil([&] { return desk.lineCount() >= healthyLines + 6; }));
        const std::size_t caughtUp = desk.lineCount();
        QVERIFY(desk.waitForConnections(desk.acceptedConnections() + 2, 30s));
        QCOMPARE(desk.lineCount(), caughtUp);
        QCOMPARE(logCount(restored), std::size_t(3));
        QVERIFY(program.end(SIGTERM));
    }

private:
    fs::path homes_;
};

SONAVANT_GUI_TEST_MAIN(DeskLinkTests)
#include "DeskLinkTests.moc"
