// Whatever a show holds, saving it in either form and opening the result gives the same
// show, and saving that again gives the same bytes.

#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Serialization.h"

#include "AppStateTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace appstate_test;
namespace fs = std::filesystem;

namespace {

class ShowMaker {
public:
    explicit ShowMaker(unsigned seed) : random_(seed) {}

    // Text with every kind of character: markup, the null marker, controls, bytes that are
    // not UTF-8, line ends, characters outside the basic plane.
    std::string text() {
        static const std::vector<std::string> pieces = {"a",
                                                        "Kick",
                                                        " ",
                                                        "$null",
                                                        "<",
                                                        ">",
                                                        "&",
                                                        "\"",
                                                        "'",
                                                        "]]>",
                                                        "&amp;",
                                                        std::string(1, '\0'),
                                                        "\x01",
                                                        "\x1f",
                                                        "\t",
                                                        "\n",
                                                        "\r",
                                                        "\r\n",
                                                        "\x7f",
                                                        "\xff",
                                                        "\xc0\xaf",
                                                        "\xed\xa0\x80",
                                                        "\xef\xbf\xbe",
                                                        "é",
                                                        "Grüße",
                                                        "🎛",
                                                        "\xe2\x80\xa8",
                                                        "0",
                                                        "-1e400",
                                                        "nan"};
        if (pick(8) == 0)
            return "$null"; // exactly the marker
        std::string out;
        for (int n = pick(6); n > 0; --n)
            out += pieces[pick(pieces.size())];
        return out;
    }

    double number() {
        static const std::vector<double> unusual = {0.0,
                                                    -0.0,
                                                    std::numeric_limits<double>::denorm_min(),
                                                    std::numeric_limits<double>::min(),
                                                    std::numeric_limits<double>::max(),
                                                    std::numeric_limits<double>::lowest(),
                                                    1e308,
                                                    -1e-308,
                                                    0.1,
                                                    1.0 / 3.0,
                                                    9007199254740993.0};
        if (pick(2) == 0)
            return unusual[pick(unusual.size())];
        return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random_), pick(2000) - 1000);
    }

    float narrowNumber() {
        for (;;)
            if (const float f = static_cast<float>(number()); std::isfinite(f))
                return f;
    }

    std::shared_ptr<AppState> show() {
        auto state = fullShow();
        state->targetDeskIP = text();
        state->targetPort = text();
        state->receivePort = text();
        // Written as null when empty: the marker text itself reads back as no image, by design.
        std::string url = text();
        state->backgroundImageURL = url == "$null" ? std::optional<std::string>() : std::optional(url);
        state->range = number();
        state->backgroundImageScale = number();
        state->backgroundImageRotation = number();
        state->defaultSpeakerWidth = number();
        state->minLevel = static_cast<int>(pick(3) == 0 ? std::numeric_limits<int>::min() : pick(200));
        state->zeroPoint = Point{number(), number()};
        auto speakers = state->speakers.get();
        for (auto& s : speakers) {
            s.displayName = text();
            s.focus = number();
            s.width = number();
            s.levelOffset = number();
            s.positionMeters = Point{number(), number()};
        }
        state->speakers = speakers;
        for (auto& source : state->soundObjects.get()) {
            source->name = text();
            source->positionMeters = Point{number(), number()};
        }
        auto groups = state->groups.get();
        groups[0].name = text();
        state->groups = groups;
        auto snapshots = state->snapshots.get();
        snapshots[0].name = text();
        snapshots[0].recallTime = number();
        state->snapshots = snapshots;
        auto desk = *state->selectedDesk.get();
        desk.name = text();
        desk.displayName = text();
        desk.mixName = text();
        desk.cueOSC = text();
        state->selectedDesk = desk;
        auto areas = state->audienceAreas.get();
        areas[0].name = text();
        state->audienceAreas = areas;
        auto ds = state->soundscapeSpeakers.get();
        ds[0].x = narrowNumber();
        ds[0].rotation = narrowNumber();
        state->soundscapeSpeakers = ds;
        return state;
    }

private:
    int pick(std::size_t n) {
        return std::uniform_int_distribution<int>(0, static_cast<int>(n) - 1)(random_);
    }
    std::mt19937 random_;
};

} // namespace

TEST(ShowFiles, RandomShowsRoundTripInBothFormsToTheSameBytes) {
    const fs::path plistFile = "show.sonavant", jsonFile = "show.json";
    // Opening as loadState does, without the disk: a property list first, then JSON.
    auto open = [](const fs::path&, const std::string& bytes) -> std::shared_ptr<AppState> {
        try {
            return AppSaveContainer::decode(platform::readPropertyList(bytes), "").appState;
        } catch (const std::exception&) {
        }
        try {
            return AppState::decode(platform::readJSON(bytes), "");
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
            return nullptr;
        }
    };
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const auto show = ShowMaker(seed).show();

        // Every show saves in both forms.
        std::string plist, json;
        ASSERT_NO_THROW(plist = AppStatePersistence::encodeState(*show, plistFile));
        ASSERT_NO_THROW(json = AppStatePersistence::encodeState(*show, jsonFile));

        // What opens saves again to the very same bytes.
        const auto fromPlist = open(plistFile, plist);
        const auto fromJSON = open(jsonFile, json);
        ASSERT_NE(fromPlist, nullptr);
        ASSERT_NE(fromJSON, nullptr);
        EXPECT_EQ(AppStatePersistence::encodeState(*fromPlist, plistFile), plist);
        EXPECT_EQ(AppStatePersistence::encodeState(*fromJSON, jsonFile), json);

        // Either form gives the same show, and crossing forms changes nothing.
        EXPECT_EQ(fromPlist->encode(), fromJSON->encode());
        const auto crossed = open(jsonFile, AppStatePersistence::encodeState(*fromPlist, jsonFile));
        ASSERT_NE(crossed, nullptr);
        EXPECT_EQ(crossed->encode(), fromPlist->encode());
        const auto crossedBack = open(plistFile, AppStatePersistence::encodeState(*fromJSON, plistFile));
        ASSERT_NE(crossedBack, nullptr);
        EXPECT_EQ(crossedBack->encode(), fromJSON->encode());
        if (HasFailure())
            break;
    }
}

// A DS100 loudspeaker at the edge of the float range saves and opens again in both forms; one
// beyond it is refused when the show opens, naming the field, instead of opening as infinity
// that no save would take.
TEST(ShowFiles, DS100LoudspeakerNumbersStayWithinTheFloatRange) {
    auto show = fullShow();
    auto ds = show->soundscapeSpeakers.get();
    ds[0].x = 3.4028235e38f;
    ds[0].y = -3.4028235e38f;
    ds[0].rotation = 1234.5f;
    show->soundscapeSpeakers = ds;
    for (const fs::path file : {"edge.sonavant", "edge.json"}) {
        SCOPED_TRACE(file.string());
        const std::string bytes = AppStatePersistence::encodeState(*show, file);
        const auto back = file.extension() == ".json"
                              ? AppState::decode(platform::readJSON(bytes), "")
                              : AppSaveContainer::decode(platform::readPropertyList(bytes), "").appState;
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->soundscapeSpeakers.get()[0].x, std::numeric_limits<float>::max());
        EXPECT_EQ(back->soundscapeSpeakers.get()[0].y, -std::numeric_limits<float>::max());
        EXPECT_EQ(AppStatePersistence::encodeState(*back, file), bytes);

        std::string beyond = bytes;
        const auto at = beyond.find("1234.5");
        ASSERT_NE(at, std::string::npos);
        beyond.replace(at, 6, "1e308");
        try {
            if (file.extension() == ".json")
                AppState::decode(platform::readJSON(beyond), "");
            else
                AppSaveContainer::decode(platform::readPropertyList(beyond), "");
            ADD_FAILURE() << "a rotation of 1e308 opened";
        } catch (const platform::CodingError& error) {
            EXPECT_NE(error.path().find("soundscapeSpeakers"), std::string::npos) << error.path();
            EXPECT_EQ(error.path().substr(error.path().size() - 8), "rotation") << error.path();
        }
    }
}

// The marker text in fields that are never written as null comes back as that text.
TEST(ShowFiles, TheNullMarkerTextSurvivesInTextFields) {
    TempFolder folder;
    platform::UserDefaults defaults{folder / "config"};
    AppStatePersistence persistence{folder / "support", defaults};
    auto show = fullShow();
    show->targetDeskIP = "$null";
    show->soundObjects.get()[0]->name = "$null";
    auto desk = *show->selectedDesk.get();
    desk.mixName = "$null";
    show->selectedDesk = desk;
    const fs::path file = folder / "marker.sonavant";
    platform::writeFileAtomically(file, AppStatePersistence::encodeState(*show, file));
    const auto back = persistence.loadState(file);
    ASSERT_NE(back, nullptr) << "the show opens";
    EXPECT_EQ(back->targetDeskIP.get(), "$null");
    EXPECT_EQ(back->soundObjects.get()[0]->name.get(), "$null");
    EXPECT_EQ(back->selectedDesk.get()->mixName, std::optional<std::string>("$null"));
    EXPECT_EQ(back->encode(), show->encode());
    // Where a null is written, the marker is still no value.
    show->backgroundImageURL = std::nullopt;
    show->selectedDesk = std::nullopt;
    platform::writeFileAtomically(file, AppStatePersistence::encodeState(*show, file));
    const auto empty = persistence.loadState(file);
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(empty->backgroundImageURL.get());
    EXPECT_FALSE(empty->selectedDesk.get());
}
