// Encode + decode of the messages Sonavant really exchanges, with our codec beside two
// other OSC libraries (liblo and oscpack, used only here). Each benchmark is named
// "<case>/<library>".

#include "OSCCore/OSCObject.h"
#include "OSCCore/OSCPacketView.h"
#include "OSCCore/OSCPacketWriter.h"

#include <benchmark/benchmark.h>
#include <lo/lo.h>
#include <osc/OscOutboundPacketStream.h>
#include <osc/OscReceivedElements.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const levelAddress = "/ch/12/mix/3/level";
const char* const positionAddress = "/dbaudio1/positioning/source_position_xy/12";
const char* const remoteAddress = "/sonavant/speaker/position/";

std::vector<std::string> bundleAddresses() {
    std::vector<std::string> out;
    for (int i = 1; i <= 32; ++i)
        out.push_back("/ch/" + std::to_string(i) + "/mix/3/level");
    return out;
}
const std::vector<std::string> levelAddresses = bundleAddresses();

// ---- Sonavant: packets written into a kept buffer and read in place

double viewSum(ByteView bytes) {
    OSCMessageView m;
    if (OSCMessageView::parse(bytes, m) != OSCMessageView::Status::ok)
        return 0;
    double sum = 0;
    for (const OSCArgumentView a : m)
        sum += a.tag() == 'i' ? a.int32() : a.float32();
    return sum;
}

template <class... V> void sonavantMessage(benchmark::State& state, const char* address, V... values) {
    Data buffer;
    for (auto _ : state) {
        OSCPacketWriter(buffer).message(address, values...);
        benchmark::DoNotOptimize(viewSum(buffer));
    }
}

void sonavantBundle(benchmark::State& state) {
    Data buffer;
    for (auto _ : state) {
        OSCPacketWriter writer(buffer);
        writer.beginBundle();
        for (int i = 0; i < 32; ++i)
            writer.message(levelAddresses[static_cast<std::size_t>(i)], std::int32_t{i});
        double sum = 0;
        for (ByteView element : OSCBundleView::parse(buffer))
            sum += viewSum(element);
        benchmark::DoNotOptimize(sum);
    }
}

// ---- Sonavant: messages as value objects (the general API)

double sonavantDecodeSum(Data&& bytes) {
    double sum = 0;
    const auto object = decodeOSCObject(std::move(bytes));
    const auto add = [&](const OSCMessage& m) {
        for (const auto& v : m.values()) {
            if (auto i = v.as<std::int32_t>())
                sum += *i;
            else if (auto f = v.as<float>())
                sum += *f;
        }
    };
    if (const OSCMessage* m = object->message())
        add(*m);
    else
        for (const auto& e : object->bundle()->elements())
            add(*e.message());
    return sum;
}

template <class... V> void sonavantValuesMessage(benchmark::State& state, const char* address, V... values) {
    for (auto _ : state) {
        Data bytes = OSCMessage(address, {values...}).rawData();
        benchmark::DoNotOptimize(sonavantDecodeSum(std::move(bytes)));
    }
}

void sonavantValuesBundle(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<OSCObject> elements;
        elements.reserve(32);
        for (int i = 0; i < 32; ++i)
            elements.emplace_back(OSCMessage(levelAddresses[static_cast<std::size_t>(i)], {std::int32_t{i}}));
        Data bytes = OSCBundle(std::move(elements)).rawData();
        benchmark::DoNotOptimize(sonavantDecodeSum(std::move(bytes)));
    }
}

// ---- liblo

void loAdd(lo_message m, std::int32_t v) {
    lo_message_add_int32(m, v);
}
void loAdd(lo_message m, float v) {
    lo_message_add_float(m, v);
}

double loSum(lo_message m) {
    double sum = 0;
    const char* types = lo_message_get_types(m);
    lo_arg** argv = lo_message_get_argv(m);
    for (int i = 0; types[i]; ++i)
        sum += types[i] == 'i' ? argv[i]->i : argv[i]->f;
    return sum;
}

template <class... V> void libloMessage(benchmark::State& state, const char* address, V... values) {
    for (auto _ : state) {
        lo_message m = lo_message_new();
        (loAdd(m, values), ...);
        std::size_t size = 0;
        void* bytes = lo_message_serialise(m, address, nullptr, &size);
        lo_message_free(m);
        int result = 0;
        lo_message in = lo_message_deserialise(bytes, size, &result);
        benchmark::DoNotOptimize(loSum(in));
        lo_message_free(in);
        std::free(bytes);
    }
}

// liblo has no bundle parser of its own outside its server: walk the elements and
// deserialise each message, as a liblo user would.
void libloBundle(benchmark::State& state) {
    for (auto _ : state) {
        lo_bundle b = lo_bundle_new(LO_TT_IMMEDIATE);
        for (int i = 0; i < 32; ++i) {
            lo_message m = lo_message_new();
            lo_message_add_int32(m, i);
            lo_bundle_add_message(b, levelAddresses[static_cast<std::size_t>(i)].c_str(), m);
        }
        std::size_t size = 0;
        auto* bytes = static_cast<char*>(lo_bundle_serialise(b, nullptr, &size));
        lo_bundle_free_recursive(b);
        double sum = 0;
        for (std::size_t pos = 16; pos + 4 <= size;) {
            std::uint32_t n;
            std::memcpy(&n, bytes + pos, 4);
            n = ntohl(n);
            int result = 0;
            lo_message in = lo_message_deserialise(bytes + pos + 4, n, &result);
            sum += loSum(in);
            lo_message_free(in);
            pos += 4 + n;
        }
        benchmark::DoNotOptimize(sum);
        std::free(bytes);
    }
}

// ---- oscpack

double oscpackSum(const osc::ReceivedMessage& m) {
    double sum = 0;
    for (auto a = m.ArgumentsBegin(); a != m.ArgumentsEnd(); ++a)
        sum += a->IsInt32() ? a->AsInt32() : a->AsFloat();
    return sum;
}

template <class... V> void oscpackMessage(benchmark::State& state, const char* address, V... values) {
    char buffer[1024];
    for (auto _ : state) {
        osc::OutboundPacketStream out(buffer, sizeof buffer);
        out << osc::BeginMessage(address);
        ((out << values), ...);
        out << osc::EndMessage;
        osc::ReceivedPacket packet(out.Data(), out.Size());
        benchmark::DoNotOptimize(oscpackSum(osc::ReceivedMessage(packet)));
    }
}

void oscpackBundle(benchmark::State& state) {
    char buffer[4096];
    for (auto _ : state) {
        osc::OutboundPacketStream out(buffer, sizeof buffer);
        out << osc::BeginBundleImmediate;
        for (int i = 0; i < 32; ++i)
            out << osc::BeginMessage(levelAddresses[static_cast<std::size_t>(i)].c_str()) << std::int32_t{i}
                << osc::EndMessage;
        out << osc::EndBundle;
        osc::ReceivedPacket packet(out.Data(), out.Size());
        osc::ReceivedBundle bundle(packet);
        double sum = 0;
        for (auto e = bundle.ElementsBegin(); e != bundle.ElementsEnd(); ++e)
            sum += oscpackSum(osc::ReceivedMessage(*e));
        benchmark::DoNotOptimize(sum);
    }
}

void registerCase(const std::string& name, auto sonavant, auto values, auto liblo, auto oscpack) {
    benchmark::RegisterBenchmark((name + "/sonavant").c_str(), sonavant);
    benchmark::RegisterBenchmark((name + "/sonavant_values").c_str(), values);
    benchmark::RegisterBenchmark((name + "/liblo").c_str(), liblo);
    benchmark::RegisterBenchmark((name + "/oscpack").c_str(), oscpack);
}

} // namespace

int main(int argc, char** argv) {
    const std::int32_t level = 73;
    const float fader = 0.73f;
    registerCase(
        "level_int", [=](benchmark::State& s) { sonavantMessage(s, levelAddress, level); },
        [=](benchmark::State& s) { sonavantValuesMessage(s, levelAddress, level); },
        [=](benchmark::State& s) { libloMessage(s, levelAddress, level); },
        [=](benchmark::State& s) { oscpackMessage(s, levelAddress, level); });
    registerCase(
        "level_float", [=](benchmark::State& s) { sonavantMessage(s, levelAddress, fader); },
        [=](benchmark::State& s) { sonavantValuesMessage(s, levelAddress, fader); },
        [=](benchmark::State& s) { libloMessage(s, levelAddress, fader); },
        [=](benchmark::State& s) { oscpackMessage(s, levelAddress, fader); });
    registerCase(
        "ds100_position", [](benchmark::State& s) { sonavantMessage(s, positionAddress, 1.2345f, -3.5f); },
        [](benchmark::State& s) { sonavantValuesMessage(s, positionAddress, 1.2345f, -3.5f); },
        [](benchmark::State& s) { libloMessage(s, positionAddress, 1.2345f, -3.5f); },
        [](benchmark::State& s) { oscpackMessage(s, positionAddress, 1.2345f, -3.5f); });
    registerCase(
        "remote_command",
        [](benchmark::State& s) { sonavantMessage(s, remoteAddress, std::int32_t{4}, 1.5f, 2.5f); },
        [](benchmark::State& s) { sonavantValuesMessage(s, remoteAddress, std::int32_t{4}, 1.5f, 2.5f); },
        [](benchmark::State& s) { libloMessage(s, remoteAddress, std::int32_t{4}, 1.5f, 2.5f); },
        [](benchmark::State& s) { oscpackMessage(s, remoteAddress, std::int32_t{4}, 1.5f, 2.5f); });
    registerCase("bundle_32_levels", sonavantBundle, sonavantValuesBundle, libloBundle, oscpackBundle);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
