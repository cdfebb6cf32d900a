#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppStatePersistence.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "platform/Serialization.h"

#include "AppStateTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <limits>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

using namespace appstate_test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using platform::Value;
using platform::ValueObject;

namespace {

struct Persistence {
    TempFolder folder;
    platform::UserDefaults defaults{folder / "config"};
    AppStatePersistence persistence{folder / "support", defaults};
};

void write(const fs::path& path, const std::string& bytes) {
    platform::writeFileAtomically(path, bytes);
}

// Top-level keys of a JSON object, in the order written.
std::vector<std::string> topLevelKeysInOrder(const std::string& json) {
    std::vector<std::string> keys;
    std::size_t pos = 0;
    while ((pos = json.find("\n  \"", pos)) != std::string::npos) {
        auto start = pos + 4;
        auto end = json.find('"', start);
        keys.push_back(json.substr(start, end - start));
        pos = end;
    }
    return keys;
}

} // namespace

TEST(AppStatePersistence, BothFormsRoundTripAFullShow) {
    Persistence p;
    auto show = fullShow();
    const Value original = show->encode();

    const std::string json = AppStatePersistence::encodeState(*show, p.folder / "show.json");
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.find("\"version\""), std::string::npos);
    auto keys = topLevelKeysInOrder(json);
    EXPECT_EQ(keys.size(), 37u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    const std::string emptyJSON = AppStatePersistence::encodeState(*firstLaunchState(), p.folder / "a.json");
    EXPECT_NE(emptyJSON.find("\"selectedDesk\": null"), std::string::npos);
    EXPECT_NE(emptyJSON.find("\"backgroundImageURL\": null"), std::string::npos);

    const std::string plist = AppStatePersistence::encodeState(*show, p.folder / "show.sonavant");
    EXPECT_EQ(plist.rfind("<?xml", 0), 0u);
    auto container = platform::readPropertyList(plist);
    EXPECT_EQ(*container.find("version"), Value(1));
    // Capitals are not "json".
    EXPECT_EQ(AppStatePersistence::encodeState(*show, p.folder / "show.JSON"), plist);

    // Each form opens whatever the name says.
    const std::pair<const char*, const std::string*> files[] = {
        {"a.json", &json}, {"b.sonavant", &plist}, {"c.sonavant", &json}, {"d.json", &plist}};
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        write(p.folder / name, *bytes);
        auto loaded = p.persistence.loadState(p.folder / name);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->encode(), original);
    }
    EXPECT_EQ(p.persistence.recentFiles().front(), (p.folder / "d.json").string());

    p.persistence.saveState(*show, p.folder / "saved.sonavant");
    EXPECT_EQ(platform::readFile(p.folder / "saved.sonavant"), plist);
    EXPECT_EQ(p.persistence.recentFiles().front(), (p.folder / "saved.sonavant").string());
}

TEST(AppStatePersistence, ShowsThatDoNotDecodeAreRejectedWhole) {
    Persistence p;
    auto container = *AppSaveContainer::encode(*fullShow()).asObject();
    container["version"] = Value(2);
    write(p.folder / "v2.sonavant", platform::writePropertyList(Value(container)));
    EXPECT_NE(p.persistence.loadState(p.folder / "v2.sonavant"), nullptr);

    container.erase("version");
    write(p.folder / "noversion.sonavant", platform::writePropertyList(Value(container)));
    auto bad = *fullShow()->encode().asObject();
    bad["canvasOrientation"] = Value("Top");
    write(p.folder / "bad.json", platform::writeJSON(Value(bad)));
    write(p.folder / "junk.sonavant", "not a show");
    for (const char* name : {"noversion.sonavant", "bad.json", "junk.sonavant", "missing.sonavant"}) {
        SCOPED_TRACE(name);
        platform::LogCapture log;
        EXPECT_EQ(p.persistence.loadState(p.folder / name), nullptr);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_NE(log.lines()[0].find("❌ Import failed: "), std::string::npos);
    }
    platform::LogCapture log;
    p.persistence.loadState(p.folder / "noversion.sonavant");
    EXPECT_TRUE(log.contains("version")); // the property list's own reason, not JSON's
    EXPECT_EQ(p.persistence.recentFiles(), std::vector<std::string>{(p.folder / "v2.sonavant").string()});
}

TEST(AppStatePersistence, NumbersThatAreNotFiniteAreNeverWritten) {
    Persistence p;
    auto show = fullShow();
    show->speakers.update([](auto& list) { list[1].focus = std::numeric_limits<double>::quiet_NaN(); });
    for (const char* name : {"show.sonavant", "show.json"}) {
        try {
            AppStatePersistence::encodeState(*show, p.folder / name);
            ADD_FAILURE() << "wrote a NaN";
        } catch (const platform::CodingError& e) {
            EXPECT_EQ(e.path(),
                      std::string(name) == "show.json" ? "speakers[1].focus" : "appState.speakers[1].focus");
        }
    }
    // The last good autosave stays, and the failure is said once, not on every tick.
    ASSERT_TRUE(p.persistence.writeAutosave(*fullShow()));
    const std::string good = platform::readFile(p.persistence.autosaveURL());
    platform::LogCapture log;
    EXPECT_FALSE(p.persistence.writeAutosave(*show));
    EXPECT_FALSE(p.persistence.writeAutosave(*show));
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("❌ Autosave failed: "));
    EXPECT_EQ(platform::readFile(p.persistence.autosaveURL()), good);
}

TEST(AppStatePersistence, RecentFilesKeepTheFiveNewest) {
    Persistence p;
    for (int i = 1; i <= 6; ++i)
        p.persistence.addRecentFile(p.folder / ("show" + std::to_string(i) + ".sonavant"));
    auto name = [&](int i) { return (p.folder / ("show" + std::to_string(i) + ".sonavant")).string(); };
    EXPECT_EQ(p.persistence.recentFiles(), (std::vector{name(6), name(5), name(4), name(3), name(2)}));
    p.persistence.addRecentFile(p.folder / "show4.sonavant");
    EXPECT_EQ(p.persistence.recentFiles(), (std::vector{name(4), name(6), name(5), name(3), name(2)}));
    EXPECT_EQ(p.defaults.array(AppStatePersistence::recentFilesKey)->size(), 5u);

    // A listed file that has gone leaves the list as it was.
    EXPECT_EQ(p.persistence.loadState(name(3)), nullptr);
    EXPECT_EQ(p.persistence.recentFiles().front(), name(4));

    p.defaults.set(AppStatePersistence::recentFilesKey, Value(platform::ValueArray{Value("a"), Value(3)}));
    p.persistence.addRecentFile(p.folder / "x.sonavant");
    EXPECT_EQ(p.persistence.recentFiles(), std::vector{(p.folder / "x.sonavant").string()});
}

TEST(AppStatePersistence, AutosaveTicksOnTheMainRunLoop) {
    platform::MainRunLoop::adoptCurrentThread();
    platform::MainRunLoop::useFakeTime(true);
    struct RealTime {
        ~RealTime() { platform::MainRunLoop::useFakeTime(false); }
    } realTime;

    Persistence p;
    auto show = fullShow();
    EXPECT_FALSE(fs::exists(p.persistence.appSupportDirectory()));
    p.persistence.startAutosave(show, 60.0);
    ASSERT_NE(p.persistence.autosaveTimer(), nullptr);
    platform::MainRunLoop::advance(59s);
    EXPECT_FALSE(fs::exists(p.persistence.autosaveURL()));
    platform::MainRunLoop::advance(1s);
    ASSERT_TRUE(fs::exists(p.persistence.autosaveURL()));
    EXPECT_EQ(p.persistence.autosaveURL().filename(), "autosave.sonavant");

    show->range = 42;
    platform::MainRunLoop::advance(60s);
    auto restored = p.persistence.restoreAutosave();
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->range, 42.0);
    // No temporary files stay behind.
    EXPECT_EQ(
        std::distance(fs::directory_iterator(p.persistence.appSupportDirectory()), fs::directory_iterator()),
        1);

    // A folder that cannot be created: the tick does nothing and the timer keeps running.
    write(p.folder / "blocked", "a file where a folder should be");
    AppStatePersistence blocked(p.folder / "blocked" / "Sonavant", p.defaults);
    blocked.startAutosave(show, 60.0);
    platform::MainRunLoop::advance(60s);
    EXPECT_TRUE(blocked.autosaveTimer()->isValid());
    EXPECT_FALSE(blocked.writeAutosave(*show));
}

TEST(AppStatePersistence, TheAutosaveIntervalSettingTakesOnlyAPositiveNumberOfSeconds) {
    platform::LogCapture log;
    EXPECT_EQ(AppStatePersistence::autosaveInterval(nullptr), 60.0);
    EXPECT_EQ(AppStatePersistence::autosaveInterval("0.5"), 0.5);
    EXPECT_EQ(AppStatePersistence::autosaveInterval("2"), 2.0);
    EXPECT_EQ(AppStatePersistence::autosaveInterval("1e3"), 1000.0);
    EXPECT_TRUE(log.lines().empty());
    for (const char* refused : {"", "0", "-1", "abc", "5s", " 3", "nan", "inf", "0,5"}) {
        SCOPED_TRACE(refused);
        EXPECT_EQ(AppStatePersistence::autosaveInterval(refused), 60.0);
    }
    ASSERT_EQ(log.lines().size(), 9u);
    EXPECT_EQ(log.lines()[3], "❌ SONAVANT_AUTOSAVE_INTERVAL=\"abc\" is not a positive number of seconds; "
                              "the autosave runs every 60 seconds.");
}

TEST(AppStatePersistence, AnUnreadableAutosaveIsMovedAsideNotOverwritten) {
    Persistence p;
    p.persistence.ensureDirectoryExists();
    write(p.persistence.autosaveURL(), "half a show");

    {
        platform::LogCapture log;
        EXPECT_EQ(p.persistence.restoreAutosave(), nullptr);
        EXPECT_TRUE(log.contains("⚠️ The autosave file does not decode"));
    }
    EXPECT_FALSE(fs::exists(p.persistence.autosaveURL()));
    std::vector<fs::path> kept;
    for (const auto& entry : fs::directory_iterator(p.persistence.appSupportDirectory()))
        kept.push_back(entry.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(platform::readFile(kept[0]), "half a show");
    EXPECT_EQ(kept[0].extension(), ".sonavant");

    // Without a launch restore, the first write protects it just the same.
    AppStatePersistence second(p.persistence.appSupportDirectory(), p.defaults);
    write(second.autosaveURL(), "another broken one");
    EXPECT_TRUE(second.writeAutosave(*fullShow()));
    EXPECT_NE(second.restoreAutosave(), nullptr);
    int brokenKept = 0;
    for (const auto& entry : fs::directory_iterator(p.persistence.appSupportDirectory()))
        brokenKept += platform::readFile(entry.path()) == "another broken one";
    EXPECT_EQ(brokenKept, 1);
}

TEST(AppStatePersistence, AnAutosaveThatCannotBeMovedAsideNeverStopsAutosaving) {
    Persistence p;
    p.persistence.ensureDirectoryExists();
    write(p.persistence.autosaveURL(), "half a show");
    bool renameFails = true;
    p.persistence.renameFile = [&](const fs::path& from, const fs::path& to, std::error_code& ec) {
        if (renameFails)
            ec = std::make_error_code(std::errc::operation_not_permitted);
        else
            fs::rename(from, to, ec);
    };
    platform::LogCapture log;
    auto show = fullShow();
    ASSERT_TRUE(p.persistence.writeAutosave(*show));
    ASSERT_TRUE(p.persistence.writeAutosave(*show));
    const fs::path fallback = p.persistence.autosaveTarget();
    EXPECT_NE(fallback, p.persistence.autosaveURL());
    EXPECT_EQ(fallback.parent_path(), p.persistence.appSupportDirectory());
    EXPECT_EQ(fallback.extension(), ".sonavant");
    EXPECT_EQ(platform::readFile(p.persistence.autosaveURL()), "half a show")
        << "the stuck file is untouched";
    EXPECT_TRUE(log.contains("autosaves go to " + fallback.string()));
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) {
                                return l.find("could not be moved aside") != std::string::npos;
                            }),
              1)
        << "said once, not every tick";
    const auto saved = AppSaveContainer::decode(platform::readPropertyList(platform::readFile(fallback)), "");
    EXPECT_EQ(saved.appState->encode(), show->encode());

    // Once the file can be moved, autosaves return to their own name.
    renameFails = false;
    ASSERT_TRUE(p.persistence.writeAutosave(*show));
    EXPECT_EQ(p.persistence.autosaveTarget(), p.persistence.autosaveURL());
    EXPECT_NE(p.persistence.restoreAutosave(), nullptr);
    EXPECT_TRUE(log.contains("✅ Autosaves go to " + p.persistence.autosaveURL().string() + " again"));
    EXPECT_TRUE(fs::exists(fallback)) << "the show saved meanwhile is kept";
}

namespace {

// Switches the C and C++ locales to German (decimal comma) for one scope; builds the
// locale into a temporary folder when the system has none.
class GermanLocale {
public:
    GermanLocale() {
#if defined(__SANITIZE_ADDRESS__)
        // glibc keeps the LOCPATH search list for the life of the process.
        __lsan::ScopedDisabler keptByTheCLibrary;
#endif
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
            if (std::setlocale(LC_ALL, name)) {
                name_ = name;
                break;
            }
        if (name_.empty() && std::system(("localedef -i de_DE -f UTF-8 " +
                                          (folder_ / "de_DE.UTF-8").string() + " >/dev/null 2>&1")
                                             .c_str()) == 0) {
            ::setenv("LOCPATH", folder_.path().c_str(), 1);
            if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
                name_ = "de_DE.UTF-8";
        }
        // Also sets the C locale again, by name.
        if (!name_.empty())
            previous_ = std::locale::global(std::locale(name_));
    }
    ~GermanLocale() {
        std::setlocale(LC_ALL, "C");
        std::locale::global(previous_);
        ::unsetenv("LOCPATH");
    }
    bool active() const {
        return !name_.empty();
    }

private:
    TempFolder folder_;
    std::string name_;
    std::locale previous_ = std::locale::classic();
};

} // namespace

TEST(AppStatePersistence, ShowRoundTripsUnderAGermanLocale) {
    Persistence p;
    GermanLocale german;
    if (!german.active())
        GTEST_SKIP() << "no German locale available";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    ASSERT_STREQ(text, "1,5");

    auto show = fullShow();
    show->range = 7.25;
    show->backgroundImageScale = 0.1;
    for (const char* name : {"de.sonavant", "de.json"}) {
        SCOPED_TRACE(name);
        const std::string bytes = AppStatePersistence::encodeState(*show, p.folder / name);
        EXPECT_EQ(bytes.find("7,25"), std::string::npos);
        write(p.folder / name, bytes);
        auto loaded = p.persistence.loadState(p.folder / name);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->range, 7.25);
        EXPECT_EQ(loaded->encode(), show->encode());
    }
}
