// The canvas end to end: real widgets, real Qt mouse and key events, real sockets to a fake
// desk on loopback.

#include "gui/CanvasGuiSupport.h"
#include "gui/GuiTestMain.h"

using namespace canvasgui;

namespace {

constexpr int deadline = 5000;

bool near(Point a, Point b, double tolerance = 1e-9) {
    return std::abs(a.x - b.x) <= tolerance && std::abs(a.y - b.y) <= tolerance;
}

} // namespace

class CanvasTests : public QObject {
    Q_OBJECT

private:
    void dragSourceToThreeHundred(CanvasOrientation orientation, Point expectedMetres) {
        ShowOnCanvas f(orientation);
        QVERIFY(f.show());
        // Zoom 100; the zero point placed after the canvas appeared, no resize in between.
        f.state->zeroPoint = Point{100, 500};
        auto source = f.addSource(1, {150, 450});
        f.addSpeaker(1, {400, 300});
        f.addSpeaker(2, {200, 150}, "Matrix", "orange");
        const Point metresBefore = source->positionMeters;
        AppState::clearHistory();

        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, QPoint(150, 450));
        QTest::mouseMove(f.canvas.get(), QPoint(200, 400));
        // Levels reach the desk while the drag runs.
        QTRY_VERIFY_WITH_TIMEOUT(f.fakeDesk.datagramCount() > 0, deadline);
        for (int i = 1; i <= 10; ++i)
            QTest::mouseMove(f.canvas.get(), QPoint(200 + 10 * i, 400 - 10 * i));
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, QPoint(300, 300));

        QVERIFY(near(source->position, {300, 300}));
        QVERIFY2(near(source->positionMeters, expectedMetres, 1e-9), rawValue(orientation).data());
        // The last level per loudspeaker is the level of the final position.
        const auto expected = f.expectedLevels(*source);
        QCOMPARE(expected.size(), std::size_t(2));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                auto last = f.lastLevels();
                for (const auto& [address, level] : expected)
                    if (!last.contains(address) || last[address] != level)
                        return false;
                return true;
            }(),
            deadline);
        // Press, first move and end: the first two find the same show, so two entries, and one
        // undo step puts the source back.
        QCOMPARE(AppState::undoStack.size(), std::size_t(2));
        f.state->undo();
        QVERIFY(near(f.state->soundObjects.get()[0]->positionMeters, metresBefore, 1e-9));
    }

private slots:
    void dragUnderTopEndsAtTwoTwoMetres() { dragSourceToThreeHundred(CanvasOrientation::top, {2, 2}); }
    void dragUnderRightEndsAtMinusTwoTwoMetres() {
        dragSourceToThreeHundred(CanvasOrientation::right, {-2, 2});
    }

    void shortDragsMoveNothing() {
        ShowOnCanvas f;
        QVERIFY(f.show());
        auto source = f.addSource(1, {100, 100});
        f.addSpeaker(1, {400, 300});
        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(f.canvas.get(), QPoint(101, 100));
        QTest::mouseMove(f.canvas.get(), QPoint(102, 100));
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, QPoint(102, 100));
        QCOMPARE(source->position.get(), (Point{100, 100}));

        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, QPoint(400, 300));
        for (int x = 403; x <= 409; x += 3)
            QTest::mouseMove(f.canvas.get(), QPoint(x, 300));
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, QPoint(409, 300));
        QCOMPARE(f.speaker(1).position, (Point{400, 300}));
        QVERIFY(f.view->selectedObjects->contains(speakerKey(1))); // the press still selected it
    }

    void shiftClickRubberBandAndEditMode() {
        ShowOnCanvas f;
        QVERIFY(f.show());
        auto a = f.addSource(1, {100, 100});
        auto b = f.addSource(2, {200, 100});
        auto c = f.addSource(3, {300, 200}); // on the band's right edge
        f.addSpeaker(1, {150, 150});

        QTest::mouseClick(f.canvas.get(), Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseClick(f.canvas.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(200, 100));
        QTest::mouseClick(f.canvas.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 100));
        QCOMPARE(f.view->selectedObjects.get(),
                 (std::set<std::string>{soundObjectKey(a->id), soundObjectKey(b->id)}));

        // The band from (50, 50) to (300, 250): sources only, the right edge outside.
        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, QPoint(50, 50));
        QTest::mouseMove(f.canvas.get(), QPoint(150, 150));
        QTest::mouseMove(f.canvas.get(), QPoint(300, 250));
        QVERIFY(f.view->selectionRect->has_value());
        guitest::saveScreenshot(*f.canvas, "canvas-rubber-band");
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, QPoint(300, 250));
        QCOMPARE(f.view->selectedObjects.get(),
                 (std::set<std::string>{soundObjectKey(a->id), soundObjectKey(b->id)}));
        (void)c;

        // In audience-area edit mode a press and a drag move and select nothing.
        f.state->isEditingAudienceArea = true;
        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, QPoint(300, 200));
        QTest::mouseMove(f.canvas.get(), QPoint(350, 250));
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, QPoint(350, 250));
        QCOMPARE(c->position.get(), (Point{300, 200}));
        QCOMPARE(f.view->selectedObjects->size(), std::size_t(2));
        guitest::saveScreenshot(*f.canvas, "canvas-edit-mode");
    }

    void doubleClickOpensTheSheets() {
        ShowOnCanvas f;
        QVERIFY(f.show());
        auto a = f.addSource(1, {100, 100});
        f.addSpeaker(4, {400, 300});
        QTest::mouseDClick(f.canvas.get(), Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseDClick(f.canvas.get(), Qt::LeftButton, {}, QPoint(400, 300));
        QCOMPARE(f.presenter->inputSheets, std::vector<platform::UUID>{a->id});
        QCOMPARE(f.presenter->speakerSheets, std::vector<std::int64_t>{4});
    }

    void arrowUpMovesTheSelectionAndLevelsFollow() {
        for (auto [orientation, dx, dy] : {std::tuple{CanvasOrientation::top, 0.0, 0.1},
                                           std::tuple{CanvasOrientation::right, -0.1, 0.0}}) {
            ShowOnCanvas f(orientation);
            QVERIFY(f.show());
            auto source = f.addSource(1, {300, 300});
            f.addSpeaker(1, {400, 300});
            f.addSpeaker(2, {200, 200});
            QTest::mouseClick(f.canvas.get(), Qt::LeftButton, {}, QPoint(300, 300));
            f.view->updateRelativeLevels();
            QTRY_VERIFY_WITH_TIMEOUT(f.fakeDesk.datagramCount() >= 2, deadline);
            const auto before = f.fakeDesk.datagramCount();
            const Point metres = source->positionMeters;

            QTest::keyClick(f.canvas.get(), Qt::Key_Up);
            QTRY_VERIFY_WITH_TIMEOUT(source->position.get() == (Point{300, 290}), deadline);
            QVERIFY(near(source->positionMeters, {metres.x + dx, metres.y + dy}, 1e-9));
            QTRY_VERIFY_WITH_TIMEOUT(f.fakeDesk.datagramCount() > before, deadline);
            const auto expected = f.expectedLevels(*source);
            QTRY_VERIFY_WITH_TIMEOUT(f.lastLevels() == expected, deadline);
        }
    }

    void heldArrowKeyStaysResponsive() {
        ShowOnCanvas f;
        QVERIFY(f.show());
        auto source = f.addSource(1, {300, 300});
        QTest::mouseClick(f.canvas.get(), Qt::LeftButton, {}, QPoint(300, 300));
        // A burst of repeats queued before any runs: they fold into the first press's move.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(f.canvas.get(), &press);
        for (int i = 0; i < 40; ++i) {
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QCoreApplication::sendEvent(f.canvas.get(), &repeat);
        }
        QTRY_VERIFY_WITH_TIMEOUT(source->position.get() == (Point{300, 310}), deadline);
        QTest::qWait(50); // nothing more is queued
        QCOMPARE(source->position.get(), (Point{300, 310}));
    }

    void resizeWithTheZeroPointAtTheCentreKeepsMetres() {
        ShowOnCanvas f;
        f.state->zeroPointPosition = ZeroPointPosition::center;
        QVERIFY(f.show());
        QCOMPARE(f.state->zeroPoint.get(), (Point{400, 300}));
        auto source = f.addSource(1, {500, 200});
        f.addSpeaker(1, {300, 400});
        const Point sourceMetres = source->positionMeters, speakerMetres = f.speaker(1).positionMeters;
        f.canvas->resize(1000, 700);
        QTRY_COMPARE_WITH_TIMEOUT(f.state->zeroPoint.get(), (Point{500, 350}), deadline);
        QCOMPARE(source->positionMeters.get(), sourceMetres);
        QCOMPARE(f.speaker(1).positionMeters, speakerMetres);
        QVERIFY(near(source->position, {600, 250}, 1e-9));
        QVERIFY(near(f.speaker(1).position, {400, 450}, 1e-9));
    }

    void focusHandleTurnsASelectedLoudspeaker() {
        ShowOnCanvas f;
        f.state->showSpeakerFocus = true;
        f.state->showSpeakerCoverage = true;
        QVERIFY(f.show());
        auto source = f.addSource(1, {700, 100});
        f.addSpeaker(1, {400, 300});
        QTest::mouseClick(f.canvas.get(), Qt::LeftButton, {}, QPoint(400, 300));
        f.fakeDesk.clear();
        // The handle lies 150 points out along the focus line: straight down for focus 0.
        QTest::mousePress(f.canvas.get(), Qt::LeftButton, {}, QPoint(400, 450));
        QTest::mouseMove(f.canvas.get(), QPoint(500, 400));
        QTest::mouseMove(f.canvas.get(), QPoint(600, 300));
        QTest::mouseRelease(f.canvas.get(), Qt::LeftButton, {}, QPoint(600, 300));
        QCOMPARE(f.speaker(1).focus, -90.0);
        QTRY_VERIFY_WITH_TIMEOUT(f.fakeDesk.datagramCount() > 0, deadline);
        guitest::saveScreenshot(*f.canvas, "canvas-focus-handle");
        (void)source;
    }

    void zoomChangeReprojects() {
        ShowOnCanvas f;
        QVERIFY(f.show());
        auto source = f.addSource(1, {200, 400}); // (2, 2) m from (0, 600)
        f.view->zoomLevel = 50.0;
        QTRY_VERIFY_WITH_TIMEOUT(near(source->position, {100, 500}, 1e-9), deadline);
    }
};

SONAVANT_GUI_TEST_MAIN(CanvasTests)
#include "CanvasTests.moc"
