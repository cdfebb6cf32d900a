#include "Sonavant/model/AppSaveContainer.h"

#include "Sonavant/model/AppState.h"

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::Value;

Value AppSaveContainer::encode() const {
    KeyedEncoder e;
    e.encode("version", currentVersion);
    e.encode("appState", appState);
    return std::move(e).finish();
}

Value AppSaveContainer::encode(const AppState& state, std::optional<std::int64_t> writeStamp) {
    KeyedEncoder e;
    e.encode("version", currentVersion);
    e.encodeIfPresent("writeStamp", writeStamp);
    e.set("appState", state.encode());
    return std::move(e).finish();
}

AppSaveContainer AppSaveContainer::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    AppSaveContainer container;
    container.version = d.decode<std::int64_t>("version");
    container.appState = d.decode<std::shared_ptr<AppState>>("appState");
    // A stamp that does not read costs the show nothing: the launch takes it as unstamped.
    try {
        container.writeStamp = d.decodeIfPresent<std::int64_t>("writeStamp");
    } catch (const platform::CodingError&) {
    }
    return container;
}
